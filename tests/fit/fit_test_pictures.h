// Pictures for the fit's tests: records with generated pixels, a real photo read at its own
// size, and golden images kept as PNG files beside the tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "imagefile/image_file.h"
#include "picset/kpic.h"

namespace fittest {

// A record of w x h pixels coloured by colour(x, y).
inline std::unique_ptr<CKpic> MakePicture(int w, int h, const std::function<COLORREF(int, int)>& colour)
{
    auto k = std::make_unique<CKpic>();
    k->m_PictureRect = CRect(0, 0, w, h);
    k->Pixels.SetSize(int64_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            k->Pixels[int64_t(y) * w + x] = colour(x, y);
    return k;
}

inline COLORREF Grey(int v) { return RGB(v, v, v); }

// A photo from the shared test data read at its own size into a record; null when absent.
inline std::unique_ptr<CKpic> LoadPhoto(const std::string& relative)
{
    const std::string path = std::string(SMRA_TESTDATA_DIR) + "/" + relative;
    const CRect rect = GetImageFileRect(path);
    if (rect.IsRectEmpty())
        return nullptr;
    auto k = std::make_unique<CKpic>();
    k->m_Path = path;
    k->m_PictureRect = rect;
    CSize size(rect.Width(), rect.Height());
    if (LoadImageFile(path, k->Pixels, size, CRect()) <= 0)
        return nullptr;
    return k;
}

inline bool SavePng(const std::string& path, const CPixelArray& px, int w, int h)
{
    if (SaveImageBegin(path, w, h, 72, "", 10) != 1)
        return false;
    for (int n : GetSaveStripOrder(path, h)) {
        CPixelArray strip;
        strip.SetSize(int64_t(w) * kStripRows);
        strip.Fill(RGB(0, 0, 0));
        for (int r = 0; r < kStripRows && n * kStripRows + r < h; ++r)
            std::copy_n(px.GetData() + int64_t(n * kStripRows + r) * w, w, strip.GetData() + int64_t(r) * w);
        if (SaveImagePut(path, strip, n) != 1) {
            SaveImageEnd(path, -1);
            return false;
        }
    }
    return SaveImageEnd(path, 1) == 1;
}

// Compares an image with its golden PNG in tests/fit/golden/. With SMRA_UPDATE_GOLDEN set the
// golden is written instead (review the new file before keeping it).
inline void ExpectMatchesGolden(const std::string& name, const CPixelArray& px, int w, int h)
{
    const std::string golden = std::string(SMRA_SOURCE_DIR) + "/tests/fit/golden/" + name;
    if (std::getenv("SMRA_UPDATE_GOLDEN")) {
        std::filesystem::create_directories(std::filesystem::path(golden).parent_path());
        ASSERT_TRUE(SavePng(golden, px, w, h)) << golden;
        return;
    }
    CPixelArray want;
    CSize size(w, h);
    ASSERT_GT(LoadImageFile(golden, want, size, CRect()), 0) << "no golden image " << golden;
    ASSERT_EQ(size, CSize(w, h)) << name;
    ASSERT_EQ(want.GetSize(), px.GetSize()) << name;
    int64_t differing = 0;
    for (std::ptrdiff_t i = 0; i < px.GetSize(); ++i)
        differing += (want[i] & 0xFFFFFF) != (px[i] & 0xFFFFFF);
    EXPECT_EQ(differing, 0) << name << ": pixels differ from the golden image";
}

} // namespace fittest
