// Sprite batching on the real OpenGL device (llvmpipe without a GPU): quads per second through
// add_quad_tra + flush, presented every frame. Needs a display:
//   bash scripts/with_display.sh build/release/bench/bench_gfx_gl
#include <benchmark/benchmark.h>

#include "framework/gfx.h"
#include "platform/d3d9.h"

namespace {
LRESULT proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    return DefWindowProcA(w, m, wp, lp);
}

struct gl_scene {
    HWND window = nullptr;
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* dev = nullptr;
    c_gfx* gfx = nullptr;
    IDirect3DTexture9* texture = nullptr;
    c_image* image = nullptr;

    bool open() {
        WNDCLASSEXA wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.lpszClassName = "hv_bench";
        RegisterClassExA(&wc);
        window = CreateWindowExA(0, "hv_bench", "bench", WS_POPUP | WS_VISIBLE, 0, 0, 1024, 768, nullptr,
                                 nullptr, nullptr, nullptr);
        if (!window || !(d3d = Direct3DCreate9(D3D_SDK_VERSION))) return false;
        ShowWindow(window, SW_SHOW);
        D3DPRESENT_PARAMETERS p{};
        p.BackBufferFormat = D3DFMT_X8R8G8B8;
        p.BackBufferCount = 1;
        p.SwapEffect = D3DSWAPEFFECT_DISCARD;
        p.hDeviceWindow = window;
        p.Windowed = TRUE;
        p.EnableAutoDepthStencil = TRUE;
        p.AutoDepthStencilFormat = D3DFMT_D16;
        p.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
        if (FAILED(
                d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &p, &dev)))
            return false;
        dev->SetRenderState(D3DRS_LIGHTING, FALSE);
        dev->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
        dev->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATER);
        dev->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        dev->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev->SetRenderState(D3DRS_POINTSPRITEENABLE, TRUE);
        gfx = new c_gfx(dev, 2.0e-5f);
        dev->CreateTexture(64, 64, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
        image = gfx->get_image(texture, 0.5f);
        return true;
    }
    ~gl_scene() {
        if (image) image->release();
        delete gfx;
        if (texture) texture->Release();
        if (dev) dev->Release();
        if (d3d) d3d->Release();
        if (window) DestroyWindow(window);
    }
};

void run(benchmark::State& state, int size) {
    gl_scene s;
    if (!s.open()) {
        state.SkipWithError("no display or no OpenGL device");
        return;
    }
    const int quads = static_cast<int>(state.range(0));
    for (auto _ : state) {
        s.dev->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        s.dev->BeginScene();
        s.gfx->depth = 0.0f;
        for (int i = 0; i < quads; ++i) {
            int x = (i * 17) % 1000, y = (i * 31) % 740;
            s.gfx->add_quad_tra(x, y, x + size, y + (size == 8 ? 8 : 24), s.gfx->depth, 0.0f, s.image, 0, 1,
                                0, 1, 0xFFFFFFFF);
            s.gfx->depth += s.gfx->depth_step;
        }
        s.gfx->flush();
        s.dev->EndScene();
        s.dev->Present(nullptr, nullptr, nullptr, nullptr);
    }
    state.SetItemsProcessed(state.iterations() * quads);
}

void BM_gl_quads_triangles(benchmark::State& state) {
    run(state, 16);
}
void BM_gl_quads_sprites(benchmark::State& state) {
    run(state, 8);
}
BENCHMARK(BM_gl_quads_triangles)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_gl_quads_sprites)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
