// The core's Direct3D half: adapter checks, device creation and reset, frames, and the
// diagnostics overlay drawn at the end of every frame.
#include <cstring>

#include "framework/core.h"
#include "framework/font.h"
#include "framework/gfx.h"
#include "framework/misc.h"
#include "platform/d3dx9.h"

// ---- compatibility ---------------------------------------------------------------------------

bool c_core::full_screen_device() const {
    return !settings.is_windowed && !(option_flags & CORE_WINDOWED_DEVICE);
}

void c_core::test_display_mode() {
    const char* fn = "c_core::test_display_mode";
    UINT n = d3d->GetAdapterModeCount(settings.adapter, settings.mode.Format);
    for (UINT i = 0; i < n; ++i) {
        D3DDISPLAYMODE m{};
        HRESULT hr = d3d->EnumAdapterModes(settings.adapter, settings.mode.Format, i, &m);
        if (FAILED(hr))
            HV_RAISE(format_string("Unable to enumerate display mode #%d.", static_cast<int>(i)), fn, hr,
                     this);
        if (std::memcmp(&m, &settings.mode, sizeof m) == 0) return;
    }
    HV_RAISE("The requested display mode is not supported.", fn, 0, this);
}

void c_core::test_compatibility() {
    const char* fn = "c_core::test_compatibility";
    HRESULT hr = d3d->GetDeviceCaps(settings.adapter, D3DDEVTYPE_HAL, &caps);
    if (FAILED(hr)) HV_RAISE("Unable to get the device capabilities.", fn, hr, this);
    D3DFORMAT f = desktop_mode.Format;
    BOOL windowed = TRUE;
    if (!settings.is_windowed) {
        test_display_mode();
        f = settings.mode.Format;
        windowed = FALSE;
    }
    if (FAILED(hr = d3d->CheckDeviceType(settings.adapter, D3DDEVTYPE_HAL, f, f, windowed)))
        HV_RAISE(
            "Hardware acceleration does not exist for this display format. Please choose a different format.",
            fn, hr, this);
    if (FAILED(hr = d3d->CheckDeviceFormat(settings.adapter, D3DDEVTYPE_HAL, f, D3DUSAGE_DEPTHSTENCIL,
                                           D3DRTYPE_SURFACE, D3DFMT_D16)))
        HV_RAISE("CheckDeviceFormat for D3DFMT_D16 failed.", fn, hr, this);
    if (FAILED(hr = d3d->CheckDepthStencilMatch(settings.adapter, D3DDEVTYPE_HAL, f, f, D3DFMT_D16)))
        HV_RAISE("CheckDepthStencilMatch failed.", fn, hr, this);
}

// ---- creation and reset ----------------------------------------------------------------------

D3DPRESENT_PARAMETERS c_core::make_present_parameters() const {
    D3DPRESENT_PARAMETERS p{};
    bool full = full_screen_device();
    p.BackBufferWidth = full ? settings.mode.Width : 0;
    p.BackBufferHeight = full ? settings.mode.Height : 0;
    p.BackBufferFormat = full ? settings.mode.Format : desktop_mode.Format;
    p.BackBufferCount = 1;
    p.MultiSampleType = D3DMULTISAMPLE_NONE;
    p.MultiSampleQuality = 0;
    p.SwapEffect = (option_flags & CORE_DISCARD) ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_COPY;
    p.hDeviceWindow = window;
    p.Windowed = full ? FALSE : TRUE;
    p.EnableAutoDepthStencil = TRUE;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = 0;
    p.FullScreen_RefreshRateInHz = full ? settings.mode.RefreshRate : 0;
    p.PresentationInterval = settings.present_interval;
    return p;
}

void c_core::create_d3d_device() {
    D3DPRESENT_PARAMETERS p = make_present_parameters();
    DWORD behaviour = (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? D3DCREATE_HARDWARE_VERTEXPROCESSING
                                                                      : D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    HRESULT hr = d3d->CreateDevice(settings.adapter, D3DDEVTYPE_HAL, window, behaviour, &p, &device);
    if (FAILED(hr)) HV_RAISE("Unable to create the Direct3D Device.", "c_core::create_d3d_device", hr, this);
}

void c_core::init_d3d_rendering() {
    const char* fn = "c_core::init_d3d_rendering";
    struct render_step {
        D3DRENDERSTATETYPE state;
        DWORD value;
        const char* message;
    };
    const render_step first[] = {
        {D3DRS_LIGHTING, FALSE, "Unable to disable lighting."},
        {D3DRS_ALPHATESTENABLE, TRUE, "Unable to enable alpha testing."},
        {D3DRS_ALPHAREF, 0, "Unable to set the alpha reference."},
        {D3DRS_ALPHAFUNC, D3DCMP_GREATER, "Unable to set the alpha function."},
        {D3DRS_ALPHABLENDENABLE, TRUE, "Unable to enable alpha blending."},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, "Unable to set source blending."},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, "Unable to set destination blending."},
        {D3DRS_BLENDOP, D3DBLENDOP_ADD, "Unable to set blending operation."},
    };
    HRESULT hr;
    for (const render_step& s : first)
        if (FAILED(hr = device->SetRenderState(s.state, s.value))) HV_RAISE(s.message, fn, hr, this);
    if (FAILED(hr = device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE)))
        HV_RAISE("Unable to set alpha stage state 1.", fn, hr, this);
    if (FAILED(hr = device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE)))
        HV_RAISE("Unable to set alpha stage state 2.", fn, hr, this);
    if (FAILED(hr = device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE)))
        HV_RAISE("Unable to set alpha operation state.", fn, hr, this);
    const render_step second[] = {
        {D3DRS_ZENABLE, D3DZB_TRUE, "Unable to enable zbuffer testing."},
        {D3DRS_SCISSORTESTENABLE, TRUE, "Unable to enable scissor rect testing."},
        {D3DRS_POINTSPRITEENABLE, TRUE, "Unable to enable point sprites."},
    };
    for (const render_step& s : second)
        if (FAILED(hr = device->SetRenderState(s.state, s.value))) HV_RAISE(s.message, fn, hr, this);
    D3DXMATRIX identity, projection;
    D3DXMatrixIdentity(&identity);
    if (FAILED(hr = device->SetTransform(D3DTS_WORLD, &identity)))
        HV_RAISE("Unable to set the world transform.", fn, hr, this);
    if (FAILED(hr = device->SetTransform(D3DTS_VIEW, &identity)))
        HV_RAISE("Unable to set the view transform.", fn, hr, this);
    int w = 0, h = 0;
    get_client_size(w, h);
    // The longer screen side spans -1..1 with square units and y growing downward. A window
    // without client area (never drawn in) is kept from dividing by zero.
    float fw = static_cast<float>(w > 0 ? w : 1), fh = static_cast<float>(h > 0 ? h : 1);
    if (fw >= fh)
        D3DXMatrixScaling(&projection, 1.0f, -fw / fh, 1.0f);
    else
        D3DXMatrixScaling(&projection, fh / fw, -1.0f, 1.0f);
    if (FAILED(hr = device->SetTransform(D3DTS_PROJECTION, &projection)))
        HV_RAISE("Unable to set the projection transform.", fn, hr, this);
    D3DVIEWPORT9 vp{0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0.0f, 1.0f};
    if (FAILED(hr = device->SetViewport(&vp))) HV_RAISE("Unable to set the viewport.", fn, hr, this);
}

HRESULT c_core::check_reset() {
    if (!active) return D3DERR_DEVICELOST;
    if (device->TestCooperativeLevel() == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    if (forced_reset) return D3DERR_DEVICENOTRESET;
    if (device->TestCooperativeLevel() != D3DERR_DEVICENOTRESET) return 0;
    HRESULT hr = d3d->GetAdapterDisplayMode(settings.adapter, &desktop_mode);
    if (FAILED(hr)) HV_RAISE("Unable to get the desktop display mode.", "c_core::check_reset", hr, this);
    return D3DERR_DEVICENOTRESET;
}

void c_core::reset_d3d_device() {
    D3DPRESENT_PARAMETERS p = make_present_parameters();
    gfx->before_reset();
    system_font->before_reset();
    HRESULT hr = device->Reset(&p);
    if (FAILED(hr)) HV_RAISE("Unable to reset the Direct3D Device.", "c_core::reset_d3d_device", hr, this);
    system_font->after_reset();
    gfx->after_reset();
}

void c_core::reset() {
    // A program asked to end does not wait for its window to come back.
    while (check_reset() == D3DERR_DEVICELOST && !end_session) {
        pump_messages();
        Sleep(50);
    }
    if (check_reset() != D3DERR_DEVICENOTRESET) return;
    RECT r{};
    for (GetClientRect(window, &r); r.left == 0 && r.top == 0 && r.right == 0 && r.bottom == 0;
         GetClientRect(window, &r)) {
        pump_messages();
        Sleep(10);
    }
    test_compatibility();
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(settings.is_windowed ? window_style() : WS_POPUP));
    // Twice: the first placement can change the frame the second one has to account for.
    reset_d3d_device();
    place_window();
    reset_d3d_device();
    place_window();
    init_d3d_rendering();
    reset_di();
    forced_reset = false;
}

// ---- frames ----------------------------------------------------------------------------------

void c_core::frame_begin(D3DCOLOR clear_color) {
    reset();
    HRESULT hr;
    if (clear_color != 0 &&
        FAILED(hr = device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear_color, 1.0f, 0)))
        HV_RAISE("Unable to clear the backbuffer.", "c_core::frame_begin", hr, nullptr);
    if (option_flags & CORE_HIDE_CURSOR) {
        int x, y, w, h;
        get_cursor_pos(x, y);
        get_client_size(w, h);
        int count = ShowCursor((x >= 0 && x < w && y >= 0 && y < h) ? FALSE : TRUE);
        while (count < -1)
            count = ShowCursor(TRUE);
        while (count > 0)
            count = ShowCursor(FALSE);
    }
    if (FAILED(hr = device->BeginScene()))
        HV_RAISE("Unable to begin the scene.", "c_core::frame_begin", hr, this);
}

void c_core::frame_end() {
    const char* fn = "c_core::frame_end";
    draw_diagnostics();
    HRESULT hr = device->EndScene();
    if (FAILED(hr)) HV_RAISE("Unable to end the scene.", fn, hr, this);
    if (FAILED(hr = device->Present(nullptr, nullptr, nullptr, nullptr)))
        HV_RAISE("Unable to present the backbuffer.", fn, hr, this);
    clear_typed_chars();
    pump_messages();
    ++frame_count;
    frame_end_time = get_cur_time();
    if (last_frame_end != 0) frame_duration = frame_end_time - last_frame_end;
    last_frame_end = frame_end_time;
}

// ---- diagnostics -----------------------------------------------------------------------------

void c_core::measure_fps() {
    if (fps_window_time >= 1000) {
        fps = static_cast<float>(fps_window_frames / (fps_window_time / 1000.0));
        fps_window_time = 0;
        fps_window_frames = 0;
    }
    fps_window_time += frame_duration;
    fps_window_frames += 1;
}

std::string c_core::full_diagnostics_text() {
    std::string t = " *FULL DEBUG OUTPUT* \nTIMING \n";
    t += format_string("  fps: %.2f \n", fps);
    t += format_string("  frames: %d \n", frame_count);
    t += format_string("  time: %.3f \n", (get_cur_time() - start_time) / 1000.0);
    t +=
        (option_flags & CORE_PERF_COUNTER) ? "  using QueryPerformanceCounter \n" : "  using GetTickCount \n";
    t += "SCREEN \n";
    t += format_string("  %s %s \n", adapter_description.c_str(),
                       (caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) ? "(HVP)" : "(SVP)");
    int w = 0, h = 0;
    get_client_size(w, h);
    const char* swap = (option_flags & CORE_DISCARD) ? "Discard \n" : "Copy \n";
    if (settings.is_windowed) {
        RECT r{};
        GetWindowRect(window, &r);
        t += std::string("  Windowed, ") + swap;
        t += format_string("  %d,%d -> %d,%d \n", static_cast<int>(r.left), static_cast<int>(r.top),
                           static_cast<int>(r.right), static_cast<int>(r.bottom));
        t += format_string("  %d x %d x %d (%d hertz) \n", w, h, format_to_depth(desktop_mode.Format),
                           static_cast<int>(desktop_mode.RefreshRate));
    } else {
        const char* sync = settings.present_interval == D3DPRESENT_INTERVAL_DEFAULT     ? "Vertical Sync, "
                           : settings.present_interval == D3DPRESENT_INTERVAL_IMMEDIATE ? "Immediate, "
                                                                                        : "Unknown, ";
        t += std::string("  Fullscreen, ") + sync + swap;
        t += format_string("  %d x %d x %d (%d hertz) \n", w, h, format_to_depth(settings.mode.Format),
                           static_cast<int>(settings.mode.RefreshRate));
    }
    int x = 0, y = 0;
    get_cursor_pos(x, y);
    DIMOUSESTATE ms = get_mouse_state();
    t += "CURSOR \n";
    t += format_string("  %d,%d \n", x, y);
    t += format_string("  state: %d%d%d%d \n", ms.rgbButtons[0] >> 7, ms.rgbButtons[1] >> 7,
                       ms.rgbButtons[2] >> 7, ms.rgbButtons[3] >> 7);
    t += "KEYBOARD \n" + held_keys_line(get_kb_state());
    return t;
}

std::string held_keys_line(const BYTE* keys) {
    std::string t = "  down: ";
    bool any = false;
    for (int k = 0; k < 256; ++k) {
        if (!(keys[k] & 0x80)) continue;
        t += format_string(any ? ", %d" : "%d", k);
        any = true;
    }
    return t + (any ? " \n" : "none \n");
}

void c_core::draw_diagnostics() {
    measure_fps();
    const D3DCOLOR white = 0xFFFFFFFF, shade = 0x5F000000;
    switch (diagnostics_mode) {
    case 1:
        overlay_rect =
            system_font->draw_fast(format_string("FPS: %.2f", fps), 0, 0, 0.0f, white, shade, 1, 1);
        break;
    case 2: {
        int x = 0, y = 0;
        get_cursor_pos(x, y);
        overlay_rect =
            system_font->draw_fast(format_string("FPS: %.2f", fps), x + 32, y + 32, 0.0f, white, shade, 1, 1);
        break;
    }
    case 3:
        overlay_rect = system_font->draw_fast(full_diagnostics_text(), 0, 0, 0.0f, white, shade, 1, 1);
        break;
    default:
        break;
    }
}
