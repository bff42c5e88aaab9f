// Shared by the work view benches: photos of one generated JPEG (hard links, so a large project
// costs one file), imported into a real document, the first ones placed by known geometry in
// rows and fitted, and the work view over them in a 1920 x 1080 client on Qt's offscreen
// platform. Full-size photo reads are counted.
#pragma once

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "document/sm_doc.h"
#include "imagefile/image_file.h"
#include "imagefile/pixel_array.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mcomp.h"
#include "platform/file_dialog.h"
#include "views/display_service.h"
#include "views/sm_view.h"

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

// A photo of `w` x `h` with a pattern that changes along both axes, written strip by strip.
inline std::string WritePhoto(const std::string& path, int w, int h)
{
    CPixelArray strip;
    strip.SetSize(int64_t(w) * kStripRows);
    if (SaveImageBegin(path, w, h, 72, std::string(), 10) != 1)
        return std::string();
    for (int n : GetSaveStripOrder(path, h)) {
        for (int y = 0; y < kStripRows; ++y)
            for (int x = 0; x < w; ++x)
                strip[int64_t(y) * w + x] = RGB((x / 8 * 7) ^ (y * 3), (kStripRows * n + y) * 255 / h, x * 255 / w);
        SaveImagePut(path, strip, n);
    }
    return SaveImageEnd(path, 1) == 1 ? path : std::string();
}

struct FittedWorkView {
    std::vector<std::string> paths;
    int fullReads = 0;
    int rows = 0;
    platform::FakeFileDialog dialog;
    CSmDoc doc;
    CSmView view;

    // `fitted` photos placed in rows of ten (60 degrees across each, overlapping by about half)
    // and `extra` more left in the stock, all of `width` x `height`, in `dir` (emptied first).
    // Answers an empty text, or what went wrong.
    std::string SetUp(QApplication& app, const std::filesystem::path& dir, int fitted, int extra, int width, int height)
    {
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        const std::string first = WritePhoto((dir / "photo0.jpg").string(), width, height);
        if (first.empty())
            return "cannot write " + (dir / "photo0.jpg").string();
        paths = {first};
        for (int i = 1; i < fitted + extra; ++i) {
            const std::string p = (dir / ("photo" + std::to_string(i) + ".jpg")).string();
            std::filesystem::create_hard_link(first, p);
            paths.push_back(p);
        }
        SetImageReader([this](const std::string& path, CPixelArray& pixels, CSize& size, const CRect& region) {
            const CSize asked = size;
            const int r = LoadImageFile(path, pixels, size, region);
            fullReads += asked.cx >= size.cx && asked.cy >= size.cy;
            return r;
        });
        views::SetDisplayService([] { return views::DisplayInfo{{1920, 1080}, 32, 0}; });

        platform::SetFileDialog(&dialog);
        dialog.QueuePaths(paths);
        doc.FileNew();
        view.resize(1920, 1080);
        doc.AddView(&view);
        if (doc.ImportPhotos() != 1)
            return "import failed";
        const double pi = 3.14159265;
        const double f = (width / 2.0) / std::tan(30.0 * pi / 180.0);
        const int columns = std::min(fitted, 10);
        rows = (fitted + columns - 1) / columns;
        for (int i = 0; i < fitted; ++i) {
            CKpic* k = doc.FindPictureByName(paths[size_t(i)]);
            const int c = i % columns, r = i / columns;
            k->m_Status = 3;
            k->m_Focal = k->m_DefaultFocal = f;
            k->m_Direction = CDPoint((c - (columns - 1) / 2.0) * 0.5, (r - (rows - 1) / 2.0) * 0.35);
            k->m_Roll = 0.0;
        }
        CMcCore& core = doc.m_pComp->Core();
        core.SortPlacedFirst();
        core.m_CommonFocal = f;
        doc.ApplyProjection(22, 0);
        core.UpdateBoundingRect();
        doc.RefreshPieces();

        view.OnInitialUpdate();
        view.show();
        view.resize(1920, 1080);
        app.processEvents();
        return std::string();
    }
};

} // namespace bench
