// The drawn mouse pointer.
#include "framework/cursor.h"

#include "platform/d3dx9.h"

c_cursor* g_cursors = nullptr;

c_cursor::c_cursor(c_gfx* gfx) : gfx_(gfx) {}

c_cursor::~c_cursor() {
    for (cursor_record& c : cursors_)
        if (c.texture) c.texture->Release();
}

int c_cursor::add_cursor(const std::string& file_name, int hot_x, int hot_y, int width, int height) {
    IDirect3DTexture9* texture = nullptr;
    if (!file_name.empty()) {
        HRESULT hr =
            D3DXCreateTextureFromFileExA(gfx_->get_device(), file_name.c_str(), static_cast<UINT>(width),
                                         static_cast<UINT>(height), 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                         D3DX_DEFAULT, D3DX_DEFAULT, 0xFFFF00FF, nullptr, nullptr, &texture);
        if (FAILED(hr)) HV_RAISE("Unable to create cursor texture.", "c_cursor::add_cursor", hr, this);
    }
    cursors_.push_back({texture, hot_x, hot_y, width, height});
    return get_count() - 1;
}

void c_cursor::set_cursor(int index) {
    if (index < 0 || index >= get_count())
        HV_RAISE("Cursor identifier out of range.", "c_cursor::set_cursor", 0, this);
    current_ = index;
}

void c_cursor::draw() {
    // Nothing is current before the first set_cursor: there is nothing sensible to show.
    if (current_ < 0) return;
    const cursor_record& c = cursors_[static_cast<size_t>(current_)];
    const int left = x - c.hot_x, top = y - c.hot_y;
    gfx_->draw_quad_tra(left, top, left + c.width, top + c.height, 0.0f, 0.0f, c.texture, 0, 1, 0, 1,
                        0xFFFFFFFF);
}
