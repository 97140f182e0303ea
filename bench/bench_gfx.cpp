// Sprite batching and text layout on the recording device: the CPU cost of the framework's
// own work, with no GPU behind it.
//   build/release/bench/bench_gfx
#include <benchmark/benchmark.h>

#include <memory>

#include "framework/font.h"
#include "tests/fakes/recording_device.h"

namespace {

struct scene {
    recording_device dev;
    std::unique_ptr<c_gfx> gfx;
    IDirect3DTexture9* texture = nullptr;
    c_image* image = nullptr;
    scene() {
        dev.keep_log = false; // a log that grows every frame would measure the fake, not us
        gfx = std::make_unique<c_gfx>(&dev, 2.0e-5f);
        dev.CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        image = gfx->get_image(texture, 0.5f);
    }
    ~scene() {
        image->release();
        gfx.reset();
        texture->Release();
    }
};

// Opaque 16 x 24 quads: two triangles each into the image's batch.
void BM_add_quad_tra_triangles(benchmark::State& state) {
    scene s;
    const int quads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < quads; ++i) {
            int x = (i * 17) % 1000, y = (i * 31) % 740;
            s.gfx->add_quad_tra(x, y, x + 16, y + 24, 0.5f, 0.0f, s.image, 0, 1, 0, 1, 0xFFFFFFFF);
        }
        s.gfx->flush();
    }
    state.SetItemsProcessed(state.iterations() * quads);
}
BENCHMARK(BM_add_quad_tra_triangles)->Arg(1000)->Arg(10000);

// Square whole-texture quads: point sprites.
void BM_add_quad_tra_sprites(benchmark::State& state) {
    scene s;
    const int quads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < quads; ++i) {
            int x = (i * 17) % 1000, y = (i * 31) % 740;
            s.gfx->add_quad_tra(x, y, x + 8, y + 8, 0.5f, 0.0f, s.image, 0, 1, 0, 1, 0xFFFFFFFF);
        }
        s.gfx->flush();
    }
    state.SetItemsProcessed(state.iterations() * quads);
}
BENCHMARK(BM_add_quad_tra_sprites)->Arg(1000);

// Translucent quads at spread depths: queued, sorted far to near, drawn.
void BM_add_quad_tra_translucent(benchmark::State& state) {
    scene s;
    const int quads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int i = 0; i < quads; ++i) {
            int x = (i * 17) % 1000, y = (i * 31) % 740;
            float z = float((i * 7919) % 1000) / 1000.0f;
            s.gfx->add_quad_tra(x, y, x + 16, y + 24, z, 0.0f, s.image, 0, 1, 0, 1, 0x80FFFFFF);
        }
        s.gfx->flush();
    }
    state.SetItemsProcessed(state.iterations() * quads);
}
BENCHMARK(BM_add_quad_tra_translucent)->Arg(1000);

// A 2,000-character text laid out with word wrap and put into its vertex buffers.
void BM_text_layout_2000(benchmark::State& state) {
    scene s;
    c_font font(s.gfx.get(),
                CreateFontA(16, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "DejaVu Sans"));
    std::string text;
    const char* words[] = {"hex ",      "battle ", "the ", "archers ",
                           "advance\n", "cannon ", "a ",   "Thistlewick "};
    for (int i = 0; text.size() < 2000; ++i)
        text += words[i % 8];
    text.resize(2000);
    for (auto _ : state) {
        c_text t(s.gfx.get(), &font, text, 20, 20, 620, 700, 0.1f, 0xFFFFFFFF, 0x80000000, 1.0f, 1.0f,
                 TEXT_WRAP | TEXT_CENTER);
        benchmark::DoNotOptimize(t.get_quad_count());
    }
}
BENCHMARK(BM_text_layout_2000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
