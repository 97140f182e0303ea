// The picture loader fed with crafted and foreign files: formats are told apart by content, only
// PNG, BMP, TGA and ICO are read, and no header can make it decode (or allocate) more than the
// bounds allow.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/gfx.h"
#include "platform/d3dx9.h"
#include "platform/image/image_file.h"
#include "tests/fakes/recording_device.h"
#include "tests/test_util.h"

#if defined(__SANITIZE_ADDRESS__)
#include <atomic>
// The sanitizer runtime's allocation hooks (GCC ships the runtime without this header).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));
#endif

namespace {

using bytes = std::vector<unsigned char>;

void put16(bytes& b, size_t at, unsigned v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void put32(bytes& b, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * i)) & 0xFF;
}
void put32be(bytes& b, size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = (v >> (8 * (3 - i))) & 0xFF;
}

void write_bytes(const std::string& path, const bytes& b) {
    write_file(path, std::string(b.begin(), b.end()));
}

// An 18-byte TGA header (no id, no colour map) followed by `data`.
bytes tga(unsigned type, unsigned w, unsigned h, unsigned bits, const bytes& data) {
    bytes b(18 + data.size(), 0);
    std::copy(data.begin(), data.end(), b.begin() + 18);
    b[2] = static_cast<unsigned char>(type);
    put16(b, 12, w);
    put16(b, 14, h);
    b[16] = static_cast<unsigned char>(bits);
    b[17] = 0x20; // rows from the top
    return b;
}

// A BMP with a 40-byte header claiming w x h at 24 bits, padded with zeros to `size` bytes.
bytes bmp_claiming(std::int32_t w, std::int32_t h, size_t size, std::uint32_t compression = 0) {
    bytes b(std::max<size_t>(size, 54), 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(w));
    put32(b, 22, static_cast<std::uint32_t>(h));
    put16(b, 26, 1);
    put16(b, 28, 24);
    put32(b, 30, compression);
    return b;
}

// A PNG signature and IHDR claiming w x h RGBA, padded with zeros to `size` bytes.
bytes png_claiming(std::uint32_t w, std::uint32_t h, size_t size) {
    bytes b(std::max<size_t>(size, 33), 0);
    const char sig[] = "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR";
    std::copy(sig, sig + 16, b.begin());
    put32be(b, 16, w);
    put32be(b, 20, h);
    b[24] = 8;
    b[25] = 6;
    return b;
}

// The crafted 21 bytes: uncompressed 24-bit, 29500 x 26486 pixels claimed.
const bytes k_crafted_tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3c, 0x73, 0x76, 0x67, 0x18, 0, 0, 0, 0};

class ImageFile : public ::testing::Test {
  protected:
    HRESULT load(const std::string& path, IDirect3DTexture9** texture, UINT w = 0, UINT h = 0) {
        return D3DXCreateTextureFromFileExA(&dev, path.c_str(), w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED,
                                            D3DX_DEFAULT, D3DX_DEFAULT, 0, nullptr, nullptr, texture);
    }
    // The loader refuses the file without creating anything.
    void expect_refused(const std::string& name, const bytes& content, const std::string& reason_part) {
        SCOPED_TRACE(name);
        std::string path = dir.file(name);
        write_bytes(path, content);
        IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(1);
        dev.clear_log();
        EXPECT_LT(load(path, &texture), 0);
        EXPECT_EQ(texture, nullptr);
        EXPECT_EQ(dev.count("CreateTexture"), 0);
        std::string why;
        EXPECT_FALSE(read_image_header(path.c_str(), nullptr, &why));
        EXPECT_NE(why.find(reason_part), std::string::npos) << why;
    }
    // The loader reads the file and the texture's level 0 holds `pixels` (row by row).
    void expect_loaded(const std::string& path, UINT w, UINT h, const std::vector<DWORD>& pixels) {
        SCOPED_TRACE(path);
        IDirect3DTexture9* texture = nullptr;
        ASSERT_EQ(load(path, &texture), D3D_OK);
        auto& level = static_cast<recording_texture*>(texture)->level(0);
        ASSERT_EQ(level.desc.Width, w);
        ASSERT_EQ(level.desc.Height, h);
        for (UINT i = 0; i < pixels.size(); ++i)
            EXPECT_EQ(level.pixel(i % w, i / w), pixels[i]) << "pixel " << i;
        texture->Release();
    }

    scratch_dir dir;
    recording_device dev;
};

TEST_F(ImageFile, HeadersClaimingHugePicturesAreRefusedBeforeDecoding) {
    expect_refused("crafted.tga", k_crafted_tga, "29500 x 26486");
    // Within the bounds but far more pixels than 21 bytes hold.
    expect_refused("short.tga", tga(2, 4096, 4096, 24, {0, 0, 0}), "too short");
    // Run-length data expands at most 128 pixels per two bytes.
    expect_refused("rle.tga", tga(10, 4000, 4000, 24, bytes(27, 0x7F)), "too short");
    expect_refused("tall.bmp", bmp_claiming(1280, 3146240, 213), "1280 x 3146240");
    expect_refused("short.bmp", bmp_claiming(2000, 2000, 213), "too short");
    expect_refused("rle.bmp", bmp_claiming(8192, 8192, 213, 1), "8192 x 8192");
    expect_refused("wide.png", png_claiming(100000, 10, 400), "100000 x 10");
    // Deflate cannot turn 400 bytes into 4000 x 4000 pixels.
    expect_refused("dense.png", png_claiming(4000, 4000, 400), "too short");
    expect_refused("empty.tga", tga(2, 0, 5, 24, bytes(30, 0)), "no pixels");
}

TEST_F(ImageFile, OnlyTheProgramsFormatsAreRead) {
    // Each of these decodes with a general image library; none is a format the program uses.
    const bytes gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0,  0,
                       0,   ',', 0,   0,   0,   0,   1, 0, 1, 0, 0,    2, 2, 0x44, 0x01, 0,    ';'};
    expect_refused("a.gif", gif, "no PNG, BMP, TGA or ICO");
    std::string xpm = "/* XPM */\nstatic char * x[] = {\n\"2 2 2 1\",\n\"a c #FF0000\",\n\"b c #0000FF\",\n"
                      "\"ab\",\n\"ba\"};\n";
    expect_refused("a.xpm", bytes(xpm.begin(), xpm.end()), "no PNG, BMP, TGA or ICO");
    std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4\" height=\"4\">"
                      "<rect width=\"4\" height=\"4\" fill=\"red\"/></svg>\n";
    expect_refused("a.svg", bytes(svg.begin(), svg.end()), "no PNG, BMP, TGA or ICO");
    // The name does not help a foreign file in either.
    expect_refused("gif.png", gif, "no PNG, BMP, TGA or ICO");
    expect_refused("svg.tga", bytes(svg.begin(), svg.end()), "no PNG, BMP, TGA or ICO");
    expect_refused("tiny.png", {0x89, 'P', 'N'}, "no PNG, BMP, TGA or ICO");
}

TEST_F(ImageFile, FormatsAreFoundByContentNotByName) {
    // A 2 x 1 picture, red then blue, as PNG and BMP made by SDL, stored under other names.
    SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, 2, 1, 32, SDL_PIXELFORMAT_ARGB8888);
    ASSERT_NE(s, nullptr);
    static_cast<std::uint32_t*>(s->pixels)[0] = 0xFFFF0000u;
    static_cast<std::uint32_t*>(s->pixels)[1] = 0xFF0000FFu;
    ASSERT_EQ(IMG_SavePNG(s, dir.file("png.tga").c_str()), 0);
    ASSERT_EQ(SDL_SaveBMP(s, dir.file("bmp.png").c_str()), 0);
    SDL_FreeSurface(s);
    expect_loaded(dir.file("png.tga"), 2, 1, {0xFFFF0000u, 0xFF0000FFu});
    expect_loaded(dir.file("bmp.png"), 2, 1, {0xFFFF0000u, 0xFF0000FFu});
    // Uncompressed and run-length TGA, named as something else.
    write_bytes(dir.file("tga.bmp"), tga(2, 2, 1, 24, {0, 0, 255, 255, 0, 0}));
    expect_loaded(dir.file("tga.bmp"), 2, 1, {0xFFFF0000u, 0xFF0000FFu});
    write_bytes(dir.file("rle"), tga(10, 3, 1, 24, {0x82, 0, 255, 0}));
    expect_loaded(dir.file("rle"), 3, 1, {0xFF00FF00u, 0xFF00FF00u, 0xFF00FF00u});
    // The game's icon.
    image_header header;
    ASSERT_TRUE(read_image_header(HV_SOURCE_DIR "/DATA/harnvale.ico", &header, nullptr));
    EXPECT_EQ(header.format, image_file_format::ico);
    EXPECT_EQ(header.width, 32u);
}

// What the program makes of a refused picture: its usual sentence, not a crash.
TEST_F(ImageFile, TheProgramReportsARefusedPicture) {
    write_bytes(dir.file("crafted.tga"), k_crafted_tga);
    c_gfx gfx(&dev, 2.0e-5f);
    EXPECT_RAISES(gfx.get_image(dir.file("crafted.tga"), 0.0f), "Unable to create texture.");
}

// What load_image_file makes of a file: its result, reason and pixels.
struct loaded {
    HRESULT hr;
    std::string why;
    std::vector<std::uint32_t> pixels;
    bool operator==(const loaded&) const = default;
};
loaded load_pixels(const std::string& path) {
    image_pixels image;
    loaded out{};
    out.hr = load_image_file(path.c_str(), &image, &out.why);
    out.pixels.assign(image.pixels.begin(), image.pixels.end());
    return out;
}

void wait_for_the_workers() {
    for (int i = 0; i < 20000 && !prefetch_idle(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(prefetch_idle());
}

TEST_F(ImageFile, APrefetchedPictureLoadsAsTheFileIsWhenItIsTaken) {
    write_bytes(dir.file("a.tga"), tga(2, 2, 1, 24, {0, 0, 255, 255, 0, 0}));
    write_bytes(dir.file("b.tga"), tga(2, 1, 1, 24, {0, 255, 0}));
    write_bytes(dir.file("short.tga"), tga(2, 64, 64, 24, {0, 0, 0}));
    write_bytes(dir.file("changed.tga"), tga(2, 1, 1, 24, {0, 0, 255}));
    std::vector<std::string> names = {"a.tga", "b.tga", "short.tga", "missing.tga", "changed.tga"};
    std::vector<loaded> direct;
    for (const std::string& name : names)
        direct.push_back(load_pixels(dir.file(name)));
    ASSERT_EQ(direct[0].hr, D3D_OK);
    ASSERT_EQ(direct[2].hr, E_FAIL);
    ASSERT_EQ(direct[3].hr, D3DERR_INVALIDCALL);
    // Decoded ahead (each name once, one of them as background work): the same results and
    // reasons, failures included.
    for (int round = 0; round < 2; ++round)
        for (size_t i = 0; i < names.size(); ++i)
            prefetch_image_file(dir.file(names[i]), i == 1);
    wait_for_the_workers();
    // A file changed since it was decoded is decoded afresh.
    write_bytes(dir.file("changed.tga"), tga(2, 2, 1, 24, {255, 0, 0, 255, 0, 0}));
    direct[4] = {D3D_OK, "", {0xFF0000FFu, 0xFF0000FFu}};
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(load_pixels(dir.file(names[i])), direct[i]) << names[i];
    // Taken means gone: the next load reads the file itself.
    write_bytes(dir.file("a.tga"), tga(2, 1, 1, 24, {9, 9, 9}));
    EXPECT_EQ(load_pixels(dir.file("a.tga")).pixels, std::vector<std::uint32_t>{0xFF090909u});
    // Pictures given up are read by the caller, whether decoded yet or not.
    prefetch_image_file(dir.file("b.tga"), false);
    prefetch_image_file(dir.file("changed.tga"), true);
    discard_prefetched_images();
    EXPECT_EQ(load_pixels(dir.file("b.tga")), direct[1]);
    EXPECT_EQ(load_pixels(dir.file("changed.tga")), direct[4]);
    // Background pictures held back wait in the queue; one taken meanwhile is read by the
    // caller, the rest are decoded once they are let go.
    hold_background_prefetch(true);
    prefetch_image_file(dir.file("a.tga"), true);
    prefetch_image_file(dir.file("b.tga"), true);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(prefetch_idle());
    EXPECT_EQ(load_pixels(dir.file("b.tga")), direct[1]);
    hold_background_prefetch(false);
    wait_for_the_workers();
    EXPECT_EQ(load_pixels(dir.file("a.tga")).pixels, std::vector<std::uint32_t>{0xFF090909u});
}

TEST(Halving, EachPixelIsTheRoundedMeanOfTheFourBelowIt) {
    struct halving {
        UINT width, height;
        std::vector<std::uint32_t> pixels, expected;
    };
    const halving cases[] = {
        {2, 2, {0x00000000u, 0x04040404u, 0x08080808u, 0x0C0C0C0Cu}, {0x06060606u}},
        {2, 2, {0x01u, 0x02u, 0x02u, 0x02u}, {0x02u}}, // 1.75 rounds up
        {2, 2, {0xFF000000u, 0xFF000000u, 0x01000000u, 0x00000000u}, {0x80000000u}},
        {3, 1, {0x10u, 0x20u, 0x30u}, {0x18u}}, // the odd column is left out, the row counted twice
        {1, 3, {0x10u, 0x30u, 0x50u}, {0x20u}},
        {1, 1, {0x12345678u}, {0x12345678u}},
        {4, 2, {1, 1, 9, 9, 1, 1, 9, 9}, {1, 9}},
    };
    for (const halving& c : cases) {
        std::vector<std::uint32_t> out(c.expected.size(), 0xDEADBEEFu);
        halve_pixels(c.pixels.data(), c.width, c.height, out.data());
        EXPECT_EQ(out, c.expected) << c.width << " x " << c.height;
    }
}

TEST_F(ImageFile, SizesAskedForByTheCallerAreBoundedToo) {
    write_bytes(dir.file("a.tga"), tga(2, 2, 1, 24, {0, 0, 255, 255, 0, 0}));
    IDirect3DTexture9* texture = nullptr;
    EXPECT_EQ(load(dir.file("a.tga"), &texture, 100000, 100000), D3DERR_INVALIDCALL);
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(load(dir.file("a.tga"), &texture, 8192, 8192), D3DERR_INVALIDCALL);
    ASSERT_EQ(load(dir.file("a.tga"), &texture, 4, 2), D3D_OK);
    texture->Release();
}

// Loads every crafted file; false when an allocation on the way failed (with memory capped, that
// is an allocation beyond the cap).
bool load_all_crafted(const std::string& dir) {
    const std::vector<std::pair<std::string, bytes>> files = {
        {"crafted.tga", k_crafted_tga},
        {"short.tga", tga(2, 4096, 4096, 24, {0, 0, 0})},
        {"rle.tga", tga(10, 4000, 4000, 24, bytes(27, 0x7F))},
        {"tall.bmp", bmp_claiming(1280, 3146240, 213)},
        {"rle.bmp", bmp_claiming(8000, 8000, 213, 1)},
        {"dense.png", png_claiming(8000, 8000, 400)},
    };
    recording_device dev;
    for (const auto& [name, content] : files) {
        write_bytes(dir + "/" + name, content);
        IDirect3DTexture9* texture = nullptr;
        SDL_ClearError();
        try {
            if (SUCCEEDED(D3DXCreateTextureFromFileExA(&dev, (dir + "/" + name).c_str(), 0, 0, 1, 0,
                                                       D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                       D3DX_DEFAULT, 0, nullptr, nullptr, &texture)))
                texture->Release();
        } catch (const std::bad_alloc&) {
            return false;
        }
        if (std::string(SDL_GetError()).find("emory") != std::string::npos) return false;
    }
    return true;
}

constexpr size_t k_allocation_bound = 300u << 20;

#if defined(__SANITIZE_ADDRESS__)
std::atomic<size_t> g_largest_allocation{0};
void note_allocation(const volatile void*, size_t size) {
    size_t seen = g_largest_allocation.load();
    while (size > seen && !g_largest_allocation.compare_exchange_weak(seen, size)) {
    }
}
void note_free(const volatile void*) {}

TEST_F(ImageFile, CraftedFilesCostNoLargeAllocation) {
    static bool installed = __sanitizer_install_malloc_and_free_hooks(note_allocation, note_free) != 0;
    ASSERT_TRUE(installed);
    // The hook sees a large allocation (untouched, so it costs no memory).
    g_largest_allocation = 0;
    std::unique_ptr<char[]> control(new char[k_allocation_bound + 1]);
    control.reset();
    ASSERT_GT(g_largest_allocation.load(), k_allocation_bound);
    g_largest_allocation = 0;
    EXPECT_TRUE(load_all_crafted(dir.path()));
    EXPECT_LT(g_largest_allocation.load(), k_allocation_bound);
}
#else
// In a child whose address space is capped: an allocation beyond the bound fails there.
[[noreturn]] void load_all_crafted_capped(const std::string& dir) {
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    rlim_t cap = static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + k_allocation_bound;
    rlimit limit{cap, cap};
    if (pages == 0 || setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(2);
    bool bounded = load_all_crafted(dir);
    std::filesystem::remove_all(dir); // this child's own scratch folder: _Exit skips its destructor
    std::_Exit(bounded ? 0 : 3);
}

TEST_F(ImageFile, CraftedFilesCostNoLargeAllocation) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(load_all_crafted_capped(dir.path()), ::testing::ExitedWithCode(0), "");
}
#endif

} // namespace
