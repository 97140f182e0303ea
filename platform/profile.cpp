// Profile strings: the Win32 INI functions on our own parser.
//
// A file is parsed once and kept; it is parsed again only when its size, time stamp or inode
// changed on disk. Writes rewrite the whole file through a temporary file and a rename, so the
// file on disk is always either the old or the new version, never half written.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/win32.h"

namespace {

struct file_stamp {
    bool exists = false;
    off_t size = 0;
    long long mtime_ns = 0;
    ino_t inode = 0;
    bool operator==(const file_stamp&) const = default;
};

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
};

std::map<std::string, parsed_file> g_cache;

file_stamp stamp_of(const std::string& path) {
    file_stamp s;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.size = st.st_size;
    s.mtime_ns = static_cast<long long>(st.st_mtim.tv_sec) * 1'000'000'000LL + st.st_mtim.tv_nsec;
    s.inode = st.st_ino;
    return s;
}

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

// Splits a file's text into lines; each line keeps nothing of its line break.
std::vector<std::string> split_lines(const std::string& text, size_t start) {
    std::vector<std::string> lines;
    size_t pos = start;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl;
        size_t cut = end;
        if (cut > pos && text[cut - 1] == '\r') --cut;
        lines.push_back(text.substr(pos, cut - pos));
        pos = nl == std::string::npos ? text.size() : nl + 1;
    }
    return lines;
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
    for (const std::string& raw : split_lines(text, bom_length(text))) {
        std::string line = trim(raw);
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

const parsed_file* load(const std::string& path) {
    file_stamp now = stamp_of(path);
    auto it = g_cache.find(path);
    if (it != g_cache.end() && it->second.stamp == now) return &it->second;
    std::string text;
    parsed_file pf;
    if (now.exists && read_file(path, text)) pf = parse(text);
    pf.stamp = now;
    return &(g_cache[path] = std::move(pf));
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

bool write_atomically(const std::string& path, const std::string& text) {
    std::string tmp = path + ".tmp-" + std::to_string(getpid());
    struct stat old {};
    const bool existed = stat(path.c_str(), &old) == 0;
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    if (existed) fchmod(fd, old.st_mode & 07777); // the new file keeps the old one's permissions
    size_t done = 0;
    while (done < text.size()) {
        ssize_t w = write(fd, text.data() + done, text.size() - done);
        if (w <= 0) {
            close(fd);
            unlink(tmp.c_str());
            return false;
        }
        done += static_cast<size_t>(w);
    }
    bool ok = fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (!ok || rename(tmp.c_str(), path.c_str()) != 0) {
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

struct line_span {
    size_t begin, end; // the line's text without its break
    size_t next;       // start of the following line
};

std::vector<line_span> line_spans(const std::string& text, size_t start) {
    std::vector<line_span> spans;
    size_t pos = start;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string::npos ? text.size() : nl;
        size_t cut = end > pos && text[end - 1] == '\r' ? end - 1 : end;
        spans.push_back({pos, cut, nl == std::string::npos ? text.size() : nl + 1});
        pos = spans.back().next;
    }
    return spans;
}

// Edits the file text: sets, adds or (value null) removes a key; a null key removes the section.
std::string edit(const std::string& text, const std::string& sec, const char* key, const char* value) {
    std::string eol = "\r\n";
    size_t first_nl = text.find('\n');
    if (first_nl != std::string::npos && (first_nl == 0 || text[first_nl - 1] != '\r')) eol = "\n";

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
        if (!out.empty() && out.back() != '\n') out += eol;
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
    const parsed_file* pf = load(file_name);
    for (const section& s : pf->sections) {
        if (!same_name(s.name, sec)) continue;
        for (const entry& e : s.entries)
            if (same_name(e.key, k)) return copy_out(unquote(e.value), out, size);
        break; // only the first section of a name is searched
    }
    return copy_out(fallback, out, size);
}

namespace {

// Where a write goes: a link is followed to its file, so the link itself stays (the file is
// replaced beside its real place). Empty when the file must not be written: a link that leads
// nowhere, or a file without any write permission, which the player made read-only on purpose
// (a rename would otherwise replace it, whoever owns it).
std::string write_target(const std::string& file_name) {
    std::string target = file_name;
    struct stat st {};
    if (lstat(file_name.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* real = realpath(file_name.c_str(), nullptr);
        if (!real) return std::string();
        target = real;
        std::free(real);
    }
    if (stat(target.c_str(), &st) == 0 && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return std::string();
    return target;
}

} // namespace

BOOL WritePrivateProfileStringA(LPCSTR section_name, LPCSTR key, LPCSTR text, LPCSTR file_name) {
    if (!section_name || !file_name) return FALSE;
    std::string sec = trim(section_name);
    if (sec.empty()) return FALSE;
    const std::string target = write_target(file_name);
    if (target.empty()) return FALSE;
    std::string old_text;
    read_file(target, old_text);
    std::string new_text = edit(old_text, sec, key, text);
    if (new_text == old_text && stamp_of(target).exists) return TRUE;
    if (!write_atomically(target, new_text)) return FALSE;
    g_cache.erase(file_name);
    return TRUE;
}
