// What the Render and Save tests share: a document with one fitted picture, a band renderer
// whose pixels tell their output place and whose failures and breaks are set by the test, and
// plenty of free disk unless a test says otherwise.
#pragma once

#include <set>

#include "doc_test_support.h"
#include "document/render_save.h"

namespace doctest {

// The colour the fake renderer gives output pixel (x, y).
inline COLORREF BandColour(int x, int y) { return RGB(x & 0xFF, y & 0xFF, (x + y) & 0x7F); }

class RenderSaveTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        // Every run starts from an empty folder.
        dir = TempDir();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        photo = WritePicture(dir + "/photo.bmp", 200, 150);
        ASSERT_EQ(Import({photo}), 1);
        ASSERT_EQ(doc->GetPieceCount(), 1);
        ASSERT_NE(doc->EnterPieceInComp(doc->GetPieceEntry(0)), nullptr);
        Picture(photo)->m_Status = 3;
        facade->Core().m_FitState = 2;
        facade->span = [this](const CRect&) { return span; };
        render_save::SetFreeSpaceQuery([this](const std::string&) { return freeBytes; });
        render_save::SetBandRenderer([this](CMcomp& comp, const std::vector<int>& order,
                                            const render_save::BandSink& sink) {
            const int width = doc->m_outputSize.cx;
            CPixelArray pixels;
            pixels.SetSize(int64_t(width) * render_save::kBandRows);
            for (size_t i = 0; i < order.size(); ++i) {
                bands.push_back(order[i]);
                if (static_cast<int>(i) == failAt)
                    return -1;
                if (static_cast<int>(i) == breakAt) {
                    comp.SetBreakMode(-1);
                    return -1;
                }
                breakModesSeen.insert(comp.GetBreakMode());
                for (int y = 0; y < render_save::kBandRows; ++y)
                    for (int x = 0; x < width; ++x)
                        pixels[int64_t(y) * width + x] = BandColour(x, 16 * order[i] + y);
                if (sink(order[i], pixels) < 0)
                    return -1;
            }
            return 1;
        });
        // Output size = area size.
        doc->m_sizeMode = 3;
        doc->m_outputScale = 1.0;
        SetArea(100, 80);
        work.log.Clear();
        thumb.log.Clear();
    }

    void SetArea(int width, int height) { doc->m_renderArea = CRect(0, 0, width, height); }

    // Render and Save answered with the path in the dialog.
    void SaveAs(const std::string& path)
    {
        dialog.QueuePath(path);
        doc->RenderAndSave();
    }

    // The job fields, busy state, step flags and break mode are those of an idle document.
    void ExpectIdle()
    {
        EXPECT_EQ(doc->m_jobText, "");
        EXPECT_EQ(doc->m_jobGuide, "");
        EXPECT_EQ(doc->m_jobPress, 0);
        EXPECT_TRUE(doc->m_jobBreakRect.IsRectEmpty());
        EXPECT_TRUE(doc->m_jobLinkRect.IsRectEmpty());
        EXPECT_EQ(doc->m_busyState, -2);
        EXPECT_EQ(doc->m_stepFlags, 0);
        EXPECT_EQ(doc->m_pComp->GetBreakMode(), 0);
    }

    std::string dir;
    std::string photo;
    int span = 360;
    int64_t freeBytes = int64_t(1) << 40;
    int failAt = -1;
    int breakAt = -1;
    std::vector<int> bands;
    std::set<int> breakModesSeen;
};

} // namespace doctest
