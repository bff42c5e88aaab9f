// BMP reader and writer on a 24-megapixel picture: full-size and one-eighth reads of the
// row-wise 24-bit path, a full-size read of a 32-bit file (whole-file path), and a strip-wise
// write.
#include "imagefile/bmp_codec.h"
#include "imagefile/pixel_array.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

constexpr int kW = 6000;
constexpr int kH = 4000;

std::string Folder()
{
    static const std::string dir = [] {
        const auto p = std::filesystem::temp_directory_path() / ("smra_bench_bmp_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p.string();
    }();
    return dir;
}

COLORREF Colour(int x, int y) { return RGB(x * 3 + y, y * 5, x ^ y); }

int Write24(const std::string& path)
{
    if (BmpWriter().BeginWrite(path, kW, kH, 72) != 1)
        return -1;
    CPixelArray strip;
    strip.SetSize(int64_t(16) * kW);
    for (int n = (kH - 1) / 16; n >= 0; --n) {
        for (int r = 0; r < 16; ++r)
            for (int x = 0; x < kW; ++x)
                strip[int64_t(r) * kW + x] = Colour(x, 16 * n + r);
        if (BmpWriter().WriteStrip(strip, n) != 1)
            return -1;
    }
    return BmpWriter().EndWrite(0);
}

const std::string& File24()
{
    static const std::string path = [] {
        const std::string p = Folder() + "/big24.bmp";
        Write24(p);
        return p;
    }();
    return path;
}

// The same picture as a 32-bit file, written byte by byte here.
const std::string& File32()
{
    static const std::string path = [] {
        const std::string p = Folder() + "/big32.bmp";
        std::FILE* f = std::fopen(p.c_str(), "wb");
        const uint32_t size = 54 + uint32_t(kW) * kH * 4;
        uint8_t h[54] = {'B', 'M'};
        auto put32 = [&](int at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                h[at + i] = uint8_t(v >> (8 * i));
        };
        put32(2, size);
        put32(10, 54);
        put32(14, 40);
        put32(18, kW);
        put32(22, kH);
        h[26] = 1;
        h[28] = 32;
        std::fwrite(h, 1, 54, f);
        std::vector<uint8_t> row(size_t(kW) * 4);
        for (int r = 0; r < kH; ++r) {
            for (int x = 0; x < kW; ++x) {
                const COLORREF c = Colour(x, kH - 1 - r);
                row[size_t(x) * 4] = uint8_t(GetBValue(c));
                row[size_t(x) * 4 + 1] = uint8_t(GetGValue(c));
                row[size_t(x) * 4 + 2] = uint8_t(GetRValue(c));
            }
            std::fwrite(row.data(), 1, row.size(), f);
        }
        std::fclose(f);
        return p;
    }();
    return path;
}

void Read(benchmark::State& state, const std::string& path, CSize requested)
{
    for (auto _ : state) {
        CPixelArray pixels;
        CSize size = requested;
        if (ReadBmpFile(path, pixels, size, CRect()) != 1)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(pixels.GetData());
    }
}

void BM_Read24Full(benchmark::State& state) { Read(state, File24(), CSize(kW, kH)); }
void BM_Read24Eighth(benchmark::State& state) { Read(state, File24(), CSize(kW / 8, kH / 8)); }
void BM_Read32Full(benchmark::State& state) { Read(state, File32(), CSize(kW, kH)); }
void BM_Write24(benchmark::State& state)
{
    const std::string path = Folder() + "/out24.bmp";
    for (auto _ : state)
        if (Write24(path) != 1)
            state.SkipWithError("write failed");
}

BENCHMARK(BM_Read24Full)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read24Eighth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Read32Full)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write24)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(Folder());
    return 0;
}
