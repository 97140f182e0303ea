// Picture files: telling the formats apart by content, checking headers; the memory of pictures.
//
// Sections:
//   1. reading bytes of the file
//   2. one header check per format
//   3. decoding
#include "platform/image/image_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "platform/d3d9.h"
#include "platform/image/image_decode.h"

namespace {

// ---- 1. reading bytes of the file ---------------------------------------------------------------

class file_bytes {
  public:
    explicit file_bytes(const char* path) : file_(std::fopen(path, "rb")) {
        struct stat st {};
        if (file_ && fstat(fileno(file_), &st) == 0 && S_ISREG(st.st_mode))
            size_ = static_cast<std::uint64_t>(st.st_size);
        else if (file_) {
            std::fclose(file_);
            file_ = nullptr;
        }
    }
    ~file_bytes() {
        if (file_) std::fclose(file_);
    }
    file_bytes(const file_bytes&) = delete;
    file_bytes& operator=(const file_bytes&) = delete;

    bool is_open() const { return file_ != nullptr; }
    std::uint64_t size() const { return size_; }

    // `n` bytes at `offset`, or false when the file ends before them.
    bool read(std::uint64_t offset, void* out, size_t n) {
        if (offset > size_ || n > size_ - offset) return false;
        if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
        return std::fread(out, 1, n, file_) == n;
    }

  private:
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
};

std::uint32_t le16(const unsigned char* p) {
    return p[0] | (p[1] << 8);
}
std::uint32_t le32(const unsigned char* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint32_t be32(const unsigned char* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
}

// Bytes of `width` pixels of `bits` each, padded to whole 32-bit words as BMP and ICO rows are.
std::uint64_t padded_row(std::uint64_t width, std::uint64_t bits) {
    return (width * bits + 31) / 32 * 4;
}

struct refusal {
    std::string* why;
    bool operator()(const std::string& reason) const {
        if (why) *why = reason;
        return false;
    }
};

bool within_bounds(std::uint64_t width, std::uint64_t height, const refusal& refuse) {
    if (width == 0 || height == 0) return refuse("the picture has no pixels");
    if (width > IMAGE_MAX_SIDE || height > IMAGE_MAX_SIDE || width * height > IMAGE_MAX_PIXELS)
        return refuse("the header claims " + std::to_string(width) + " x " + std::to_string(height) +
                      " pixels, more than the loader takes (" + std::to_string(IMAGE_MAX_SIDE) +
                      " on a side, " + std::to_string(IMAGE_MAX_PIXELS) + " in all)");
    return true;
}

bool holds(std::uint64_t needed, std::uint64_t size, const refusal& refuse) {
    if (needed > size)
        return refuse("the file is " + std::to_string(size) + " bytes long, too short for the " +
                      std::to_string(needed) + " bytes its header claims");
    return true;
}

// ---- 2. one header check per format -------------------------------------------------------------

// PNG: the IHDR chunk must come first. Deflate expands at most 1032-fold, so the file must be
// large enough to hold the filtered rows compressed that far.
bool check_png(file_bytes& f, image_header* out, const refusal& refuse) {
    unsigned char h[26];
    if (!f.read(0, h, sizeof h) || std::memcmp(h + 12, "IHDR", 4) != 0 || be32(h + 8) != 13)
        return refuse("the PNG file does not begin with its IHDR chunk");
    std::uint64_t w = be32(h + 16), ht = be32(h + 20);
    if (!within_bounds(w, ht, refuse)) return false;
    out->width = static_cast<UINT>(w);
    out->height = static_cast<UINT>(ht);
    static const int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    unsigned depth = h[24], type = h[25];
    if (type > 6 || channels[type] == 0 || depth == 0 || depth > 16)
        return refuse("the PNG header names an unknown pixel format");
    std::uint64_t raw = ht * (1 + (w * depth * channels[type] + 7) / 8);
    return holds((raw + 1031) / 1032, f.size(), refuse);
}

bool check_bmp(file_bytes& f, image_header* out, const refusal& refuse) {
    unsigned char h[34];
    if (!f.read(0, h, 18)) return refuse("the BMP header is cut short");
    std::uint32_t dib = le32(h + 14);
    std::uint64_t w, ht;
    std::uint32_t bits, compression = 0;
    if (dib == 12) {
        if (!f.read(0, h, 26)) return refuse("the BMP header is cut short");
        w = le16(h + 18);
        ht = le16(h + 20);
        bits = le16(h + 24);
    } else if (dib >= 40 && dib <= 124) {
        if (!f.read(0, h, 34)) return refuse("the BMP header is cut short");
        auto sw = static_cast<std::int32_t>(le32(h + 18)), sh = static_cast<std::int32_t>(le32(h + 22));
        if (sw <= 0 || sh == 0 || sh == INT32_MIN) return refuse("the BMP header claims no pixels");
        w = static_cast<std::uint64_t>(sw);
        ht = static_cast<std::uint64_t>(sh < 0 ? -static_cast<std::int64_t>(sh) : sh); // < 0: top-down
        bits = le16(h + 28);
        compression = le32(h + 30);
    } else {
        return refuse("the BMP header has an unknown size");
    }
    if (!within_bounds(w, ht, refuse)) return false;
    out->width = static_cast<UINT>(w);
    out->height = static_cast<UINT>(ht);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse("the BMP header names " + std::to_string(bits) + " bits per pixel");
    // Run-length data (1, 2) can expand without limit, so only the size bounds hold it; plain
    // and bit-field data (0, 3, 6) must all be in the file.
    if (compression == 1 || compression == 2) return true;
    if (compression != 0 && compression != 3 && compression != 6)
        return refuse("the BMP file holds compressed data of an unknown kind");
    return holds(14 + dib + padded_row(w, bits) * ht, f.size(), refuse);
}

// ICO: every entry must be a plain BMP picture with its AND mask, all in the file.
bool check_ico(file_bytes& f, image_header* out, const refusal& refuse) {
    unsigned char h[6];
    f.read(0, h, 6);
    std::uint32_t count = le16(h + 4);
    if (count == 0) return refuse("the icon holds no pictures");
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char e[16], b[40];
        if (!f.read(6 + 16ull * i, e, sizeof e)) return refuse("the icon's directory is cut short");
        std::uint64_t at = le32(e + 12);
        if (!f.read(at, b, sizeof b)) return refuse("an icon entry lies outside the file");
        if (std::memcmp(b, "\x89PNG", 4) == 0) return refuse("an icon entry is a PNG; only BMP entries load");
        auto sw = static_cast<std::int32_t>(le32(b + 4)), sh = static_cast<std::int32_t>(le32(b + 8));
        if (le32(b) != 40 || sw <= 0 || sh < 2) return refuse("an icon entry has no BMP header");
        std::uint64_t w = static_cast<std::uint64_t>(sw), ht = static_cast<std::uint64_t>(sh) / 2;
        if (!within_bounds(w, ht, refuse)) return false;
        std::uint32_t bits = le16(b + 14);
        if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32)
            return refuse("an icon entry has " + std::to_string(bits) + " bits per pixel");
        if (le32(b + 16) != 0) return refuse("an icon entry is compressed");
        std::uint64_t palette = bits <= 8 ? (4ull << bits) : 0;
        if (!holds(at + 40 + palette + (padded_row(w, bits) + padded_row(w, 1)) * ht, f.size(), refuse))
            return false;
        if (w * ht > static_cast<std::uint64_t>(out->width) * out->height) {
            out->width = static_cast<UINT>(w);
            out->height = static_cast<UINT>(ht);
        }
    }
    return true;
}

// TGA has no signature: a header is taken as TGA only when every field holds a value TGA allows.
bool is_tga_header(const unsigned char* h) {
    unsigned map_type = h[1], type = h[2], map_bits = h[7], bits = h[16];
    bool mapped = type == 1 || type == 9;
    bool known_type = mapped || type == 2 || type == 3 || type == 10 || type == 11;
    bool known_bits = bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
    bool map_ok = map_type == 0 ? !mapped
                                : map_type == 1 && le16(h + 5) > 0 &&
                                      (map_bits == 15 || map_bits == 16 || map_bits == 24 || map_bits == 32);
    return known_type && known_bits && map_ok && (h[17] & 0xC0) == 0;
}

// Uncompressed pixels must all be in the file; a run-length packet of at least two bytes gives
// at most 128 pixels.
bool check_tga(file_bytes& f, const unsigned char* h, image_header* out, const refusal& refuse) {
    std::uint64_t w = le16(h + 12), ht = le16(h + 14);
    if (!within_bounds(w, ht, refuse)) return false;
    out->width = static_cast<UINT>(w);
    out->height = static_cast<UINT>(ht);
    std::uint64_t data = 18 + h[0] + (h[1] ? le16(h + 5) * ((h[7] + 7ull) / 8) : 0);
    if (!holds(data, f.size(), refuse)) return false;
    if (h[2] >= 9) return holds(data + (w * ht + 127) / 128, f.size(), refuse);
    return holds(data + w * ht * ((h[16] + 7ull) / 8), f.size(), refuse);
}

bool check_header(file_bytes& f, image_header* out, const refusal& refuse) {
    unsigned char h[18] = {};
    bool full = f.read(0, h, sizeof h);
    out->width = out->height = 0;
    if (full && std::memcmp(h, "\x89PNG\r\n\x1a\n", 8) == 0) {
        out->format = image_file_format::png;
        return check_png(f, out, refuse);
    }
    if (full && h[0] == 'B' && h[1] == 'M') {
        out->format = image_file_format::bmp;
        return check_bmp(f, out, refuse);
    }
    if (full && le16(h) == 0 && le16(h + 2) == 1) {
        out->format = image_file_format::ico;
        return check_ico(f, out, refuse);
    }
    if (full && is_tga_header(h)) {
        out->format = image_file_format::tga;
        return check_tga(f, h, out, refuse);
    }
    return refuse("the file is no PNG, BMP, TGA or ICO picture");
}

} // namespace

bool read_image_header(const char* path, image_header* out, std::string* why) {
    refusal refuse{why};
    image_header header;
    file_bytes f(path ? path : "");
    if (!f.is_open()) return refuse("the file cannot be opened");
    if (!check_header(f, &header, refuse)) return false;
    if (out) *out = header;
    return true;
}

HRESULT load_image_file(const char* path, image_pixels* out, std::string* why) {
    HRESULT hr = S_OK;
    if (path && take_prefetched_image(path, out, why, &hr)) return hr;
    return decode_image_pixels(path, out, why);
}

namespace {
constexpr std::size_t mapped_from = 256 * 1024;
}

void* allocate_picture_memory(std::size_t bytes) {
    if (bytes < mapped_from) return ::operator new(bytes);
#ifdef _WIN32
    void* memory = VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (!memory) throw std::bad_alloc();
#else
    void* memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
#endif
    return memory;
}

void free_picture_memory(void* memory, std::size_t bytes) {
    if (bytes < mapped_from)
        ::operator delete(memory);
    else
#ifdef _WIN32
        VirtualFree(memory, 0, MEM_RELEASE);
#else
        munmap(memory, bytes);
#endif
}

void halve_pixels(const std::uint32_t* pixels, UINT width, UINT height, std::uint32_t* out) {
    const UINT out_w = std::max<UINT>(width / 2, 1), out_h = std::max<UINT>(height / 2, 1);
    for (UINT y = 0; y < out_h; ++y) {
        const std::uint32_t* row0 = pixels + static_cast<size_t>(std::min(y * 2, height - 1)) * width;
        const std::uint32_t* row1 = pixels + static_cast<size_t>(std::min(y * 2 + 1, height - 1)) * width;
        for (UINT x = 0; x < out_w; ++x) {
            const UINT x0 = std::min(x * 2, width - 1), x1 = std::min(x * 2 + 1, width - 1);
            const std::uint32_t quad[4] = {row0[x0], row0[x1], row1[x0], row1[x1]};
            std::uint32_t p = 0;
            for (int c = 0; c < 32; c += 8) {
                UINT sum = 2;
                for (std::uint32_t q : quad)
                    sum += (q >> c) & 0xFF;
                p |= (sum / 4) << c;
            }
            out[static_cast<size_t>(y) * out_w + x] = p;
        }
    }
}

const char* image_format_name(image_file_format format) {
    switch (format) {
    case image_file_format::png:
        return "PNG";
    case image_file_format::bmp:
        return "BMP";
    case image_file_format::tga:
        return "TGA";
    case image_file_format::ico:
        return "ICO";
    default:
        return "";
    }
}
