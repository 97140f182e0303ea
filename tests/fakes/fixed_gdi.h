// A GDI stand-in for fonts whose layout a test must know exactly: every character 8 pixels
// wide, the font 14 high, nothing painted.
#pragma once
#include "framework/font.h"

class fixed_gdi : public c_font_gdi {
  public:
    HGDIOBJ select_object(HDC, HGDIOBJ) override { return nullptr; }
    COLORREF set_text_color(HDC, COLORREF) override { return 0; }
    int set_bk_mode(HDC, int) override { return OPAQUE; }
    COLORREF set_bk_color(HDC, COLORREF) override { return 0; }
    BOOL get_text_metrics(HDC, TEXTMETRICA* m) override {
        *m = {};
        m->tmHeight = 14;
        return TRUE;
    }
    BOOL get_text_extent(HDC, LPCSTR, int, SIZE* size) override {
        size->cx = 8;
        size->cy = 14;
        return TRUE;
    }
    int draw_text(HDC, LPCSTR, int, RECT*, UINT) override { return 14; }
};
