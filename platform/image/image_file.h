// Picture files as the program reads them: PNG, BMP, TGA and ICO, told apart by their contents
// (never by the file's name). The header is read and checked before anything is decoded, so a
// crafted or truncated file can neither make the decoder allocate gigabytes nor reach a decoder
// for a format the program does not use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

enum class image_file_format { unknown, png, bmp, tga, ico };

// The largest picture decoded: 8192 pixels on a side and 16 M pixels in all (64 MB as A8R8G8B8).
constexpr UINT IMAGE_MAX_SIDE = 8192;
constexpr std::uint64_t IMAGE_MAX_PIXELS = 4096ull * 4096ull;

struct image_header {
    image_file_format format = image_file_format::unknown;
    UINT width = 0, height = 0; // the largest entry of an icon
};

// Reads the file's header. False, with the reason in `why`, when the file cannot be opened, is
// of no format the program reads, claims a size beyond the bounds above, or is too short to hold
// the pixels its header claims (uncompressed data) or could possibly expand to (compressed data).
bool read_image_header(const char* path, image_header* out, std::string* why);

// Memory for pictures: a buffer of a quarter megabyte or more is mapped and unmapped whole, so
// that once freed it never stays resident in a heap. Pictures are decoded on worker threads,
// whose heaps keep much of what is freed into them, even by another thread.
void* allocate_picture_memory(std::size_t bytes);
void free_picture_memory(void* memory, std::size_t bytes);
template <class T> struct picture_allocator {
    using value_type = T;
    picture_allocator() = default;
    template <class U> picture_allocator(const picture_allocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocate_picture_memory(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) { free_picture_memory(p, n * sizeof(T)); }
    template <class U> bool operator==(const picture_allocator<U>&) const { return true; }
};
using picture_buffer = std::vector<std::uint32_t, picture_allocator<std::uint32_t>>;

struct image_pixels {
    image_file_format format = image_file_format::unknown;
    UINT width = 0, height = 0;
    picture_buffer pixels;  // 0xAARRGGBB, row 0 at the top
    bool has_alpha = false; // an alpha channel or a colour key in the file
};

// Checks the header, then decodes. D3DERR_INVALIDCALL when the file cannot be opened, E_FAIL
// when it is refused or does not decode; `why` (may be null) says which. A picture prefetched
// below is taken from its worker instead (the same result, failures included).
HRESULT load_image_file(const char* path, image_pixels* out, std::string* why);

// Background decoding. Starts decoding the file on a worker thread, so that the next
// load_image_file of the same path takes the result, waiting only for what is left of the
// decoding; a file changed on disk since then is decoded afresh. `background` pictures are
// not needed soon: they are decoded by a worker of lower priority, so they never slow down
// what is needed first. A path already waiting to be taken is not decoded twice.
void prefetch_image_file(const std::string& path, bool background);
// Gives up every prefetched picture not taken yet (a worker busy with one finishes it first).
void discard_prefetched_images();
// The same for one file: its pixels are not held any longer for a load that is not coming.
void discard_prefetched_image(const std::string& path);
// While held, background pictures wait in their queue (one taken meanwhile is decoded by the
// thread that asks for it): the program holds them while it starts, so that they never compete
// with its first frame, and lets them go once that frame is shown.
void hold_background_prefetch(bool hold);
// True when no worker has a picture left to decode (for tests and diagnostics; pictures held
// back count as left).
bool prefetch_idle();

// The next mip level of a width x height picture: max(width / 2, 1) x max(height / 2, 1)
// pixels into `out`, each the rounded mean of the four below it channel by channel (an odd
// last row or column counted twice).
void halve_pixels(const std::uint32_t* pixels, UINT width, UINT height, std::uint32_t* out);

// "PNG", "BMP", "TGA", "ICO" or "".
const char* image_format_name(image_file_format format);
