// Paths for the system's wide functions. A path of the program (ANSI code page, relative or
// absolute, '/' or '\') becomes an absolute "\\?\" path, which no MAX_PATH limit applies to.
#pragma once
#include <string>

std::wstring long_path(const std::string& path);
// A name the system returned, in the ANSI code page the program's paths are in.
std::string narrow_path(const wchar_t* name);
