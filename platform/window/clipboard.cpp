// kernel32 global memory and the user32 clipboard on SDL's clipboard. SDL speaks UTF-8 with
// LF line ends; CF_TEXT is Windows-1252 with CR LF, so text is converted both ways, and a
// character the code page lacks becomes '?'.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/gdi/gdi_font.h"
#include "platform/window/window_internal.h"

// ---- global memory ------------------------------------------------------------------------------

namespace {
struct global_block {
    std::vector<char> bytes;
    int locks = 0;
};
// Handles are checked against this set, so a stale or made-up handle fails cleanly.
std::set<global_block*> g_blocks;

global_block* block_of(HGLOBAL memory) {
    auto* b = static_cast<global_block*>(memory);
    return g_blocks.count(b) ? b : nullptr;
}
} // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > (SIZE_T(1) << 30)) return nullptr;
    auto* b = new global_block;
    // A block of no size still locks to a pointer the caller may hold.
    b->bytes.assign(bytes == 0 ? 1 : bytes, 0);
    (void)flags; // always zeroed, always movable
    g_blocks.insert(b);
    return b;
}

LPVOID GlobalLock(HGLOBAL memory) {
    global_block* b = block_of(memory);
    if (!b) return nullptr;
    ++b->locks;
    return b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL memory) {
    global_block* b = block_of(memory);
    if (!b || b->locks == 0) return FALSE;
    return --b->locks > 0 ? TRUE : FALSE;
}

HGLOBAL GlobalFree(HGLOBAL memory) {
    global_block* b = block_of(memory);
    if (!b) return memory;
    g_blocks.erase(b);
    delete b;
    return nullptr;
}

// ---- text conversion ------------------------------------------------------------------------------

namespace {
// The Windows-1252 byte of a code point, 0 when the code page has none.
unsigned char cp1252_of(std::uint32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF))
        return static_cast<unsigned char>(code_point);
    for (int code = 0x80; code <= 0x9F; ++code)
        if (gdi_cp1252_to_unicode(static_cast<unsigned char>(code)) == code_point)
            return static_cast<unsigned char>(code);
    return 0;
}

std::string cp1252_from_utf8(const char* utf8) {
    std::string out;
    for (std::uint32_t cp : platform_decode_utf8(utf8 ? utf8 : "")) {
        if (cp == '\r') continue;
        if (cp == '\n') {
            out += "\r\n";
            continue;
        }
        const unsigned char c = cp1252_of(cp);
        out += c ? static_cast<char>(c) : '?';
    }
    return out;
}

void append_utf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string utf8_from_cp1252(const char* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\r' && i + 1 < length && text[i + 1] == '\n') continue;
        append_utf8(out, gdi_cp1252_to_unicode(c));
    }
    return out;
}
} // namespace

std::vector<std::uint32_t> platform_decode_utf8(const char* text) {
    std::vector<std::uint32_t> out;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p) {
        const unsigned char c = *p;
        int extra = c < 0x80             ? 0
                    : (c & 0xE0) == 0xC0 ? 1
                    : (c & 0xF0) == 0xE0 ? 2
                    : (c & 0xF8) == 0xF0 ? 3
                                         : -1;
        std::uint32_t cp = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        ++p;
        bool bad = extra < 0;
        for (int k = 0; k < extra && !bad; ++k, ++p) {
            if ((*p & 0xC0) != 0x80)
                bad = true; // a cut sequence: the next byte starts afresh
            else
                cp = (cp << 6) | (*p & 0x3F);
        }
        // Overlong forms, surrogates and values past Unicode are not characters.
        static constexpr std::uint32_t least[4] = {0, 0x80, 0x800, 0x10000};
        if (bad || cp < least[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
        out.push_back(cp);
    }
    return out;
}

// ---- the clipboard ----------------------------------------------------------------------------------

namespace {
bool g_open = false;
HWND g_opener = nullptr;
bool g_emptied_without_owner = false;
HGLOBAL g_given = nullptr; // the CF_TEXT block handed out by GetClipboardData, freed on close

void drop_given() {
    if (g_given) GlobalFree(g_given);
    g_given = nullptr;
}
} // namespace

BOOL OpenClipboard(HWND new_owner) {
    if (g_open || !SDL_WasInit(SDL_INIT_VIDEO)) return FALSE;
    g_open = true;
    g_opener = new_owner;
    g_emptied_without_owner = false;
    return TRUE;
}

BOOL CloseClipboard() {
    if (!g_open) return FALSE;
    drop_given();
    g_open = false;
    g_opener = nullptr;
    return TRUE;
}

BOOL EmptyClipboard() {
    if (!g_open) return FALSE;
    drop_given();
    g_emptied_without_owner = g_opener == nullptr;
    return SDL_SetClipboardText("") == 0 ? TRUE : FALSE;
}

BOOL IsClipboardFormatAvailable(UINT format) {
    if (format != CF_TEXT || !SDL_WasInit(SDL_INIT_VIDEO)) return FALSE;
    return SDL_HasClipboardText() ? TRUE : FALSE;
}

HANDLE GetClipboardData(UINT format) {
    if (!g_open || format != CF_TEXT || !SDL_HasClipboardText()) return nullptr;
    char* utf8 = SDL_GetClipboardText();
    if (!utf8) return nullptr;
    const std::string text = cp1252_from_utf8(utf8);
    SDL_free(utf8);
    drop_given();
    g_given = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!g_given) return nullptr;
    std::memcpy(GlobalLock(g_given), text.c_str(), text.size() + 1);
    GlobalUnlock(g_given);
    return g_given;
}

// The text is handed to SDL at once, so the block is freed here: it is the clipboard's now, and
// nobody may touch it again.
HANDLE SetClipboardData(UINT format, HANDLE memory) {
    global_block* b = block_of(memory);
    if (!g_open || g_emptied_without_owner || format != CF_TEXT || !b) return nullptr;
    const size_t length = strnlen(b->bytes.data(), b->bytes.size());
    const std::string utf8 = utf8_from_cp1252(b->bytes.data(), length);
    if (SDL_SetClipboardText(utf8.c_str()) != 0) return nullptr;
    GlobalFree(memory);
    return memory;
}
