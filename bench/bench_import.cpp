// Import Photos speed: enters a set of large JPEG photos into a new project through the
// document, as the open dialog hands them over, and prints the time per photo and how the
// files were read (each once, at the small-image size, never in full).
//   bench_import [count] [width] [height]   (default: 50 photos of 6000 x 4000)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "platform/file_dialog.h"

namespace {

std::string WritePhoto(const std::string& path, int w, int h)
{
    CPixelArray strip;
    strip.SetSize(int64_t(w) * kStripRows);
    if (SaveImageBegin(path, w, h, 72, std::string(), 10) != 1)
        return std::string();
    for (int n : GetSaveStripOrder(path, h)) {
        for (int y = 0; y < kStripRows; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = RGB((x * 7) ^ (y * 3), (kStripRows * n + y) * 255 / h, x * 255 / w);
        SaveImagePut(path, strip, n);
    }
    return SaveImageEnd(path, 1) == 1 ? path : std::string();
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 50;
    const int width = argc > 2 ? std::atoi(argv[2]) : 6000;
    const int height = argc > 3 ? std::atoi(argv[3]) : 4000;
    if (count < 1 || width < 120 || height < 120) {
        std::fprintf(stderr, "usage: bench_import [count] [width] [height]\n");
        return 2;
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "smra_bench_import";
    std::filesystem::create_directories(dir);
    const std::string first = WritePhoto((dir / "photo0.jpg").string(), width, height);
    if (first.empty()) {
        std::fprintf(stderr, "cannot write %s\n", (dir / "photo0.jpg").c_str());
        return 1;
    }
    std::vector<std::string> paths{first};
    for (int i = 1; i < count; ++i) {
        const std::string p = (dir / ("photo" + std::to_string(i) + ".jpg")).string();
        std::filesystem::copy_file(first, p, std::filesystem::copy_options::overwrite_existing);
        paths.push_back(p);
    }

    std::map<std::string, int> reads;
    int fullReads = 0;
    SetImageReader([&](const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region) {
        ++reads[path];
        const CSize asked = size;
        const int r = LoadImageFile(path, pixels, size, region);
        fullReads += asked.cx >= size.cx && asked.cy >= size.cy;
        return r;
    });

    platform::FakeFileDialog dialog;
    platform::SetFileDialog(&dialog);
    dialog.QueuePaths(paths);
    CSmDoc doc;
    doc.FileNew();
    const auto t0 = std::chrono::steady_clock::now();
    const int result = doc.ImportPhotos();
    const auto t1 = std::chrono::steady_clock::now();
    platform::SetFileDialog(nullptr);

    int readOnce = 0;
    for (const auto& [path, n] : reads)
        readOnce += n == 1;
    const double ms = std::chrono::duration<double, std::milli>(t1 - t0).count();
    std::printf("import of %d photos of %d x %d: result %d, %d pieces\n", count, width, height, result,
                doc.GetPieceCount());
    std::printf("%.1f ms per photo (%.0f ms in all)\n", ms / count, ms);
    std::printf("photos read exactly once: %d of %d; full-size reads: %d\n", readOnce, count, fullReads);
    std::filesystem::remove_all(dir);
    return doc.GetPieceCount() == count && readOnce == count && fullReads == 0 ? 0 : 1;
}
