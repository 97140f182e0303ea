// The Win32 subset the program calls (kernel32, user32), with Windows' names, widths and
// documented semantics, implemented on SDL2 and the C++ standard library. On Windows this
// header may simply include <windows.h>.
#pragma once
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using LONGLONG = std::int64_t;
using UINT_PTR = std::uintptr_t;
using ULONG_PTR = std::uintptr_t;
using SIZE_T = ULONG_PTR;
using LONG_PTR = std::intptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using ATOM = std::uint16_t;
using COLORREF = DWORD;
using LPCSTR = const char*;
using LPSTR = char*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr HRESULT S_OK = 0;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline bool FAILED(HRESULT hr) {
    return hr < 0;
}
inline bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}

// No comparison operators, as on Windows: EqualRect compares two.
struct RECT {
    LONG left, top, right, bottom;
};
struct POINT {
    LONG x, y;
};
struct SIZE {
    LONG cx, cy;
};
union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

// Opaque handles. Each is a distinct pointer type so that they cannot be mixed up.
struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
// As on Windows, a GDI object is an untyped pointer and a font handle a type of its own: a font
// passes as a GDI object, a GDI object becomes a font only by a cast.
using HGDIOBJ = void*;
struct HFONT__;
using HFONT = HFONT__*;
struct HDC__;
using HDC = HDC__*;
using HANDLE = void*;
using HGLOBAL = HANDLE;
using LPVOID = void*;

inline WORD LOWORD(std::uintptr_t v) {
    return static_cast<WORD>(v & 0xFFFF);
}
inline WORD HIWORD(std::uintptr_t v) {
    return static_cast<WORD>((v >> 16) & 0xFFFF);
}
inline LPARAM MAKELPARAM(WORD lo, WORD hi) {
    return static_cast<LPARAM>(static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16));
}

// ---- kernel32 -------------------------------------------------------------------------------
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_text, LPSTR out, DWORD size,
                               LPCSTR file_name);
// Writes are buffered, and reads see them; section, key and text all null flush the buffered
// writes of `file_name` (of every file when it is null too) to disk as one replacement. Whatever
// is still buffered is flushed when the process ends normally.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR file_name);
DWORD GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL SetCurrentDirectoryA(LPCSTR path);
// The full path of the running program's executable (the module must be null: only the program's
// own is known). Returns the length copied; a buffer too small gets the path cut to size - 1
// characters and the return value is size, so a caller grows its buffer until the result is
// smaller. 0 when the path cannot be read.
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// Renames a file; with MOVEFILE_REPLACE_EXISTING an existing `new_name` is replaced in one step
// (without it, an existing file makes the call fail, as on Windows). WRITE_THROUGH returns only
// once the new name is on the disk.
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1, MOVEFILE_WRITE_THROUGH = 0x8;
BOOL MoveFileExA(LPCSTR existing_name, LPCSTR new_name, DWORD flags);
BOOL QueryPerformanceCounter(LARGE_INTEGER* count);
BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);
DWORD GetTickCount();
void Sleep(DWORD ms);

// Global memory, as the clipboard takes and gives it: a handle to a block that GlobalLock turns
// into a pointer. Every block here is movable; a bad handle fails instead of crashing.
constexpr UINT GMEM_MOVEABLE = 0x0002;
constexpr UINT GMEM_ZEROINIT = 0x0040;
HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Null for a bad handle; each lock is matched by one GlobalUnlock.
LPVOID GlobalLock(HGLOBAL memory);
// Nonzero while the block is still locked after this unlock, zero once it is not.
BOOL GlobalUnlock(HGLOBAL memory);
// Null when freed; the handle itself when it could not be.
HGLOBAL GlobalFree(HGLOBAL memory);

// The directory separator of file paths the program builds itself.
constexpr char PATH_SEPARATOR = '/';

// ---- shlwapi --------------------------------------------------------------------------------
// FALSE for a full path (one from the root), TRUE for anything else, a null or empty name too.
BOOL PathIsRelativeA(LPCSTR path);

// ---- user32: messages and windows ----------------------------------------------------------
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUERYENDSESSION = 0x0011;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_CHAR = 0x0102; // wParam: one UTF-16 code unit typed; lParam: repeat count
constexpr UINT WM_INITMENUPOPUP = 0x0117;
constexpr UINT WM_SIZING = 0x0214;
constexpr UINT WM_MOVING = 0x0216;
constexpr WPARAM SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2;
constexpr WORD WA_INACTIVE = 0, WA_ACTIVE = 1, WA_CLICKACTIVE = 2;
constexpr int SW_SHOW = 5, SW_MINIMIZE = 6;
constexpr DWORD WS_POPUP = 0x80000000u, WS_VISIBLE = 0x10000000u, WS_CAPTION = 0x00C00000u,
                WS_SYSMENU = 0x00080000u, WS_THICKFRAME = 0x00040000u, WS_MINIMIZEBOX = 0x00020000u,
                WS_MAXIMIZEBOX = 0x00010000u, WS_OVERLAPPEDWINDOW = 0x00CF0000u;
constexpr UINT CS_CLASSDC = 0x0040;
constexpr int GWL_STYLE = -16;
constexpr UINT SWP_NOSIZE = 0x0001, SWP_NOMOVE = 0x0002, SWP_SHOWWINDOW = 0x0040;
inline HWND const HWND_TOP = reinterpret_cast<HWND>(0);
inline HWND const HWND_TOPMOST = reinterpret_cast<HWND>(-1);
inline HWND const HWND_NOTOPMOST = reinterpret_cast<HWND>(-2);
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT MB_OK = 0x0, MB_ICONEXCLAMATION = 0x30;
constexpr int VK_CAPITAL = 0x14, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91;
inline LPCSTR const IDC_ARROW = reinterpret_cast<LPCSTR>(32512);
inline LPCSTR const IDI_APPLICATION = reinterpret_cast<LPCSTR>(32512);
constexpr int BLACK_BRUSH = 4;

using WNDPROC = LRESULT (*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSEXA {
    UINT cbSize;
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
    HICON hIconSm;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

ATOM RegisterClassExA(const WNDCLASSEXA* wc);
BOOL UnregisterClassA(LPCSTR class_name, HINSTANCE instance);
HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR caption, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
BOOL DestroyWindow(HWND window);
BOOL ShowWindow(HWND window, int command);
BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
LONG SetWindowLongA(HWND window, int index, LONG value);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect);
BOOL PeekMessageA(MSG* msg, HWND window, UINT filter_min, UINT filter_max, UINT remove);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
int ShowCursor(BOOL show);
BOOL ClipCursor(const RECT* rect);
BOOL GetCursorPos(POINT* point);
HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DestroyIcon(HICON icon);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
short GetKeyState(int virtual_key);
BOOL PtInRect(const RECT* rect, POINT point);
BOOL EqualRect(const RECT* a, const RECT* b);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- user32: the clipboard --------------------------------------------------------------
// On the system clipboard (SDL's). CF_TEXT is text in the program's single-byte code page
// (Windows-1252) with CR LF line ends and a terminating null. The clipboard must be open for
// everything but IsClipboardFormatAvailable. A handle given to SetClipboardData belongs to the
// clipboard from then on; one got from GetClipboardData stays the clipboard's and is good until
// the clipboard is closed. A clipboard opened without a window and emptied takes no data.
constexpr UINT CF_TEXT = 1;
BOOL OpenClipboard(HWND new_owner);
BOOL CloseClipboard();
BOOL EmptyClipboard();
BOOL IsClipboardFormatAvailable(UINT format);
HANDLE GetClipboardData(UINT format);
HANDLE SetClipboardData(UINT format, HANDLE memory);

// The program's entry point; on Linux the platform's main calls it.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);
