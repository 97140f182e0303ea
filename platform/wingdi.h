// The GDI subset the program calls to paint glyph atlases, on FreeType and fontconfig. Single-byte
// character codes 128-255 are Windows-1252.
#pragma once
#include "platform/win32.h"

constexpr int SYSTEM_FONT = 13;
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int FW_DONTCARE = 0, FW_NORMAL = 400, FW_BOLD = 700;
constexpr DWORD ANSI_CHARSET = 0;
// Font qualities: the two antialiased ones rasterise with grey edges that DrawTextA blends
// into the pixels below; every other one draws hard-edged glyphs.
constexpr DWORD DEFAULT_QUALITY = 0, NONANTIALIASED_QUALITY = 3, ANTIALIASED_QUALITY = 4,
                CLEARTYPE_QUALITY = 5;
constexpr int LF_FACESIZE = 32;
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

struct LOGFONTA {
    LONG lfHeight;
    LONG lfWidth;
    LONG lfEscapement;
    LONG lfOrientation;
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    char lfFaceName[LF_FACESIZE];
};

// Height > 0 matches the cell height, < 0 the em height, 0 a default; width is the average
// character width (0 = by aspect ratio); the face is found by name, falling back to a sans face.
HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strike_out, DWORD charset, DWORD out_precision, DWORD clip_precision,
                  DWORD quality, DWORD pitch_and_family, LPCSTR face);
// The same font from its description; a face name without its terminating zero is cut short.
HFONT CreateFontIndirectA(const LOGFONTA* description);
// Makes the fonts of a file usable by CreateFontA; FR_PRIVATE: by this process only. Returns
// the number of fonts added, 0 on failure.
constexpr DWORD FR_PRIVATE = 0x10;
int AddFontResourceExA(LPCSTR file_name, DWORD flags, void* reserved);
// A font's description as it was created (sizeof(LOGFONTA) bytes): copies at most `size`
// bytes and returns how many; with a null buffer only the size. 0 for anything but a font.
int GetObjectA(HGDIOBJ object, int size, void* buffer);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
COLORREF SetTextColor(HDC dc, COLORREF color);
int SetBkMode(HDC dc, int mode);
COLORREF SetBkColor(HDC dc, COLORREF color);
BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics);
BOOL GetTextExtentPoint32A(HDC dc, LPCSTR text, int length, SIZE* size);
int DrawTextA(HDC dc, LPCSTR text, int length, RECT* rect, UINT format);
