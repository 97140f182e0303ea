// The GDI subset the program calls to paint glyph atlases, on FreeType and fontconfig. Single-byte
// character codes 128-255 are Windows-1252.
#pragma once
#include "platform/win32.h"

constexpr int SYSTEM_FONT = 13;
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int FW_DONTCARE = 0, FW_NORMAL = 400, FW_BOLD = 700;
constexpr DWORD ANSI_CHARSET = 0;
constexpr UINT DT_TOP = 0, DT_LEFT = 0, DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400,
               DT_NOPREFIX = 0x800;
constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;
inline COLORREF RGB(BYTE r, BYTE g, BYTE b) {
    return r | (g << 8) | (b << 16);
}

struct TEXTMETRICA {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
};

// Height > 0 matches the cell height, < 0 the em height, 0 a default; width is the average
// character width (0 = by aspect ratio); the face is found by name, falling back to a sans face.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, LPCSTR face);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetTextColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
COLORREF SetBkColor(HDC dc, COLORREF color);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size);
int DrawTextA(HDC dc, LPCSTR text, int length, RECT* rect, UINT format);
