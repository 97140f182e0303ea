// GDI subset: device contexts over 32-bit pixel memory. First cut: state handling only; text
// rendering follows.
#include <cstring>

#include "platform/gdi_internal.h"
#include "platform/wingdi.h"

namespace {

struct font_object {
    int height = 16;
    int width = 7;
};

struct device_context {
    void* bits;
    int width, height, pitch;
    HGDIOBJ font;
    COLORREF text = 0, bk = 0xFFFFFF;
    int bk_mode = OPAQUE;
};

font_object g_system_font;
int g_black_brush;

device_context* dc_of(HDC dc) { return reinterpret_cast<device_context*>(dc); }
font_object* font_of(HGDIOBJ o) { return reinterpret_cast<font_object*>(o); }

}  // namespace

HDC gdi_create_memory_dc(void* bits, int width, int height, int pitch) {
    auto* dc = new device_context{bits, width, height, pitch, reinterpret_cast<HGDIOBJ>(&g_system_font)};
    return reinterpret_cast<HDC>(dc);
}

void gdi_delete_memory_dc(HDC dc) { delete dc_of(dc); }

HGDIOBJ GetStockObject(int object) {
    if (object == SYSTEM_FONT) return reinterpret_cast<HGDIOBJ>(&g_system_font);
    if (object == BLACK_BRUSH) return reinterpret_cast<HGDIOBJ>(&g_black_brush);
    return nullptr;
}

HFONT CreateFontA(int height, int width, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                  LPCSTR) {
    auto* f = new font_object;
    if (height > 0) f->height = height;
    if (width > 0) f->width = width;
    return reinterpret_cast<HFONT>(f);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    if (!dc || !object) return nullptr;
    HGDIOBJ old = dc_of(dc)->font;
    dc_of(dc)->font = object;
    return old;
}

BOOL DeleteObject(HGDIOBJ object) {
    if (!object) return FALSE;
    if (object == GetStockObject(SYSTEM_FONT) || object == GetStockObject(BLACK_BRUSH)) return TRUE;
    delete font_of(object);
    return TRUE;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    if (!dc) return CLR_INVALID;
    COLORREF old = dc_of(dc)->text;
    dc_of(dc)->text = color;
    return old;
}

int SetBkMode(HDC dc, int mode) {
    if (!dc) return 0;
    int old = dc_of(dc)->bk_mode;
    dc_of(dc)->bk_mode = mode;
    return old;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    if (!dc) return CLR_INVALID;
    COLORREF old = dc_of(dc)->bk;
    dc_of(dc)->bk = color;
    return old;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
    if (!dc || !metrics) return FALSE;
    const font_object* f = font_of(dc_of(dc)->font);
    std::memset(metrics, 0, sizeof *metrics);
    metrics->tmHeight = f->height;
    metrics->tmAscent = f->height * 4 / 5;
    metrics->tmDescent = f->height - metrics->tmAscent;
    metrics->tmAveCharWidth = f->width;
    metrics->tmMaxCharWidth = f->width * 2;
    metrics->tmWeight = FW_NORMAL;
    return TRUE;
}

BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size) {
    if (!dc || !text || !size) return FALSE;
    const font_object* f = font_of(dc_of(dc)->font);
    if (length < 0) length = static_cast<int>(std::strlen(text));
    size->cx = length * f->width;
    size->cy = f->height;
    return TRUE;
}

int DrawTextA(HDC dc, LPCSTR text, int, RECT*, UINT) {
    if (!dc || !text) return 0;
    return font_of(dc_of(dc)->font)->height;
}
