// Profile strings: the Win32 INI functions on our own parser.
//
// A file is parsed once and kept; it is parsed again only when its size, time stamp or inode
// changed on disk. Writes are kept in memory (reads see them) until the file is flushed, by
// WritePrivateProfileStringA with section, key and text all null, or at the end of the process.
// A flush rewrites the whole file through a temporary file and a rename, so a run of writes
// reaches the disk as one replacement: the file is always the old or the new version, never half
// written or a mixture. A temporary file that a killed process left behind is removed the first
// time its file is used again.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/win32.h"
#include "platform/window/profile_files.h"

namespace {

struct entry {
    std::string key;   // trimmed, as written
    std::string value; // trimmed, enclosing quotes still on
};

struct section {
    std::string name;
    std::vector<entry> entries;
};

struct parsed_file {
    file_stamp stamp;
    std::vector<section> sections;
    bool pending = false; // written in memory and not yet flushed
    std::string text;     // the whole file as written, while pending
};

// Every file the process has read or written. Writes not yet flushed reach the disk when the
// process ends normally.
struct file_cache {
    std::map<std::string, parsed_file> files;
    ~file_cache() {
        for (auto& [path, pf] : files)
            if (pf.pending) profile_write_atomically(path, pf.text);
    }
};
file_cache g_files;
std::map<std::string, parsed_file>& g_cache = g_files.files;

bool read_file(const std::string& path, std::string& out) {
    out.clear();
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    std::fclose(f);
    return true;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && is_blank(s[b]))
        ++b;
    while (e > b && is_blank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

bool same_name(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 128) x = static_cast<unsigned char>(std::tolower(x));
        if (y < 128) y = static_cast<unsigned char>(std::tolower(y));
        if (x != y) return false;
    }
    return true;
}

struct line_span {
    size_t begin, end; // the line's text without its break
    size_t next;       // start of the following line
};

// Splits a file's text into lines. LF, CR LF and a lone CR each end a line, for the reader and
// the writer alike.
std::vector<line_span> line_spans(const std::string& text, size_t start) {
    std::vector<line_span> spans;
    size_t pos = start;
    while (pos < text.size()) {
        size_t end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            spans.push_back({pos, text.size(), text.size()});
            break;
        }
        size_t next = end + 1;
        if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
        spans.push_back({pos, end, next});
        pos = next;
    }
    return spans;
}

// The line break a file uses: that of its first line, CR LF for a file without any.
std::string line_break_of(const std::string& text) {
    size_t end = text.find_first_of("\r\n");
    if (end == std::string::npos) return "\r\n";
    if (text[end] == '\n') return "\n";
    return end + 1 < text.size() && text[end + 1] == '\n' ? "\r\n" : "\r";
}

size_t bom_length(const std::string& text) {
    return text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
}

// A section header is '[' name ']' after trimming; a header without its closing bracket still
// names a section (the rest of the line), as the Windows functions read it.
bool parse_header(const std::string& trimmed, std::string& name) {
    if (trimmed.empty() || trimmed[0] != '[') return false;
    size_t close = trimmed.find(']');
    name = trim(trimmed.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

parsed_file parse(const std::string& text) {
    parsed_file pf;
    section* current = nullptr;
    for (const line_span& span : line_spans(text, bom_length(text))) {
        std::string line = trim(text.substr(span.begin, span.end - span.begin));
        std::string name;
        if (parse_header(line, name)) {
            pf.sections.push_back({name, {}});
            current = &pf.sections.back();
            continue;
        }
        if (!current || line.empty() || line[0] == ';') continue;
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        current->entries.push_back({trim(line.substr(0, eq)), trim(line.substr(eq + 1))});
    }
    return pf;
}

parsed_file& load(const std::string& path) {
    profile_remove_stale_temporaries(path);
    file_stamp now = profile_stamp_of(path);
    auto it = g_cache.find(path);
    if (it != g_cache.end() && (it->second.pending || it->second.stamp == now)) return it->second;
    std::string text;
    parsed_file pf;
    if (now.exists && read_file(path, text)) pf = parse(text);
    pf.stamp = now;
    return g_cache[path] = std::move(pf);
}

bool flush(const std::string& path) {
    auto it = g_cache.find(path);
    if (it == g_cache.end() || !it->second.pending) return true;
    if (!profile_write_atomically(path, it->second.text)) return false;
    it->second.pending = false;
    it->second.text.clear();
    it->second.stamp = profile_stamp_of(path);
    return true;
}

std::string unquote(const std::string& v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

DWORD copy_out(const std::string& value, LPSTR out, DWORD size) {
    if (!out || size == 0) return 0;
    DWORD n = static_cast<DWORD>(std::min<size_t>(value.size(), size - 1));
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
}

// Edits the file text: sets, adds or (value null) removes a key; a null key removes the section.
std::string edit(const std::string& text, const std::string& sec, const char* key, const char* value) {
    std::string eol = line_break_of(text);

    auto spans = line_spans(text, bom_length(text));
    // Find the first matching section and where it ends.
    long sec_line = -1;
    size_t sec_end = spans.size();
    for (size_t i = 0; i < spans.size(); ++i) {
        std::string name;
        if (!parse_header(trim(text.substr(spans[i].begin, spans[i].end - spans[i].begin)), name)) continue;
        if (sec_line >= 0) {
            sec_end = i;
            break;
        }
        if (same_name(name, sec)) sec_line = static_cast<long>(i);
    }
    std::string k = key ? trim(key) : "";
    std::string line = k + "=" + (value ? value : "");
    if (sec_line < 0) {
        if (!key || !value) return text;
        std::string out = text;
        if (!out.empty() && out.back() != '\n' && out.back() != '\r') out += eol;
        return out + "[" + sec + "]" + eol + line + eol;
    }
    if (!key) { // remove the whole section
        size_t from = spans[sec_line].begin;
        size_t to = sec_end < spans.size() ? spans[sec_end].begin : text.size();
        return text.substr(0, from) + text.substr(to);
    }
    size_t last_content = static_cast<size_t>(sec_line);
    for (size_t i = sec_line + 1; i < sec_end; ++i) {
        std::string t = trim(text.substr(spans[i].begin, spans[i].end - spans[i].begin));
        if (!t.empty()) last_content = i;
        if (t.empty() || t[0] == ';') continue;
        size_t eq = t.find('=');
        if (eq == std::string::npos || !same_name(trim(t.substr(0, eq)), k)) continue;
        if (!value) return text.substr(0, spans[i].begin) + text.substr(spans[i].next);
        return text.substr(0, spans[i].begin) + line + text.substr(spans[i].end);
    }
    if (!value) return text;
    const line_span& after = spans[last_content];
    if (after.next == after.end) // the section's last line has no line break
        return text.substr(0, after.end) + eol + line + eol;
    return text.substr(0, after.next) + line + eol + text.substr(after.next);
}

} // namespace

DWORD GetPrivateProfileStringA(LPCSTR section_name, LPCSTR key, LPCSTR default_text, LPSTR out, DWORD size,
                               LPCSTR file_name) {
    std::string fallback = default_text ? default_text : "";
    while (!fallback.empty() && is_blank(fallback.back()))
        fallback.pop_back();
    if (!file_name || !section_name || !key) return copy_out(fallback, out, size);
    std::string sec = trim(section_name), k = trim(key);
    if (sec.empty() || k.empty()) return copy_out(fallback, out, size);
    const parsed_file& pf = load(file_name);
    for (const section& s : pf.sections) {
        if (!same_name(s.name, sec)) continue;
        for (const entry& e : s.entries)
            if (same_name(e.key, k)) return copy_out(unquote(e.value), out, size);
        break; // only the first section of a name is searched
    }
    return copy_out(fallback, out, size);
}

namespace {} // namespace

BOOL WritePrivateProfileStringA(LPCSTR section_name, LPCSTR key, LPCSTR text, LPCSTR file_name) {
    if (!section_name && !key && !text) { // flush one file, or with no name every file
        if (file_name) return flush(file_name) ? TRUE : FALSE;
        bool ok = true;
        for (auto& entry : g_cache)
            ok = flush(entry.first) && ok;
        return ok ? TRUE : FALSE;
    }
    if (!section_name || !file_name) return FALSE;
    std::string sec = trim(section_name);
    if (sec.empty()) return FALSE;
    // A read-only file or a link to nowhere is refused now, as the flush could not write it.
    if (profile_write_target(file_name).empty()) return FALSE;
    parsed_file& pf = load(file_name);
    std::string old_text;
    if (pf.pending)
        old_text = pf.text;
    else
        read_file(file_name, old_text);
    std::string new_text = edit(old_text, sec, key, text);
    if (new_text == old_text && (pf.pending || pf.stamp.exists)) return TRUE;
    file_stamp stamp = pf.stamp;
    pf = parse(new_text);
    pf.stamp = stamp;
    pf.pending = true;
    pf.text = std::move(new_text);
    return TRUE;
}
