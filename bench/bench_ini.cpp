// INI reads per second on a 500-key file: the parse-once cache at work.
//   build/release/bench/bench_ini
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "framework/ini.h"

namespace {
struct ini_file {
    std::string dir;
    ini_file() {
        char tmpl[] = "/tmp/harnvale-bench-XXXXXX";
        dir = mkdtemp(tmpl);
        FILE* f = std::fopen((dir + "/rules.ini").c_str(), "w");
        for (int s = 0; s < 10; ++s) {
            std::fprintf(f, "[section_%d]\n; fifty keys a section\n", s);
            for (int k = 0; k < 50; ++k)
                std::fprintf(f, "key_%d = %d\n", k, s * 1000 + k);
        }
        std::fclose(f);
    }
    ~ini_file() { std::filesystem::remove_all(dir); }
};

void BM_ini_get_int(benchmark::State& state) {
    ini_file file;
    std::string old = std::filesystem::current_path();
    std::filesystem::current_path(file.dir);
    c_ini ini("rules.ini");
    std::filesystem::current_path(old);
    int i = 0;
    long sum = 0;
    for (auto _ : state) {
        sum += ini.get_int("section_" + std::to_string(i % 10), "key_" + std::to_string((i * 7) % 50));
        ++i;
    }
    benchmark::DoNotOptimize(sum);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ini_get_int);
} // namespace

BENCHMARK_MAIN();
