// Windows: the system's own Win32 declarations, plus the little the program adds on every system.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// (after <windows.h>, which it needs)
#include <shlwapi.h>

// The directory separator of file paths the program builds itself.
constexpr char PATH_SEPARATOR = '\\';

// Profile strings are the program's own on every system (platform/window/profile.cpp): cached,
// and written back as one atomic replacement of the file, which the system's functions are not.
#define GetPrivateProfileStringA hv_GetPrivateProfileStringA
#define WritePrivateProfileStringA hv_WritePrivateProfileStringA
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR default_text, LPSTR out, DWORD size,
                               LPCSTR file_name);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR text, LPCSTR file_name);
