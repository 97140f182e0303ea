#include "platform/windows/long_path.h"

#include <vector>

#include "platform/win32.h"

namespace {

std::wstring widened(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

} // namespace

std::wstring long_path(const std::string& path) {
    std::wstring wide = widened(path);
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
    // The full path is computed without any length limit; the "\\?\" form then has none either.
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return wide;
    std::vector<wchar_t> full(needed + 1);
    const DWORD length = GetFullPathNameW(wide.c_str(), needed + 1, full.data(), nullptr);
    if (length == 0 || length > needed) return wide;
    std::wstring absolute(full.data(), length);
    if (absolute.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + absolute.substr(2); // a network share
    return L"\\\\?\\" + absolute;
}

std::string narrow_path(const wchar_t* name) {
    const int n = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return std::string();
    std::string out(static_cast<size_t>(n - 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, name, -1, out.data(), n, nullptr, nullptr);
    return out;
}
