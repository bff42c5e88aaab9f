// The main road with the real picture set and writers: three photos of a vertical panorama in,
// laid triple inline and fitted, the rendering area fitted to them, the panorama written as
// JPEG, BMP, TIFF and PNG, the project saved and opened again.
#include <algorithm>
#include <gtest/gtest.h>

#include <cmath>

#include "common/helpers.h"
#include "doc_test_support.h"
#include "picset/mccore.h"

namespace doctest {
namespace {

// The three photos with a known orientation: yaw, pitch and roll in degrees, and the horizontal
// field of view of the lens (the same for all three).
struct Orientation {
    const char* file;
    double yaw, pitch, roll;
};
constexpr Orientation kPhotos[] = {
    {"DFM_4209.jpg", 0.531266541718985, 36.1046241840456, 0.996264821601163},
    {"DFM_4210.jpg", 0.172012967955389, 16.2398292874912, -0.63486202061528},
    {"DFM_4211.jpg", -1.31273973186065, -2.28276603433043, -0.195540327125917},
};
constexpr double kFieldOfView = 67.4858193737202;
constexpr double kDegree = 3.14159265358979323846 / 180.0;

class MainRoadTest : public DocTest {
protected:
    void SetUp() override
    {
        DocTest::SetUp();
        SetFacadeFactory(nullptr);
        ASSERT_TRUE(doc->FileNew());
        facade = nullptr;
        dir = TempDir();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }

    // The fit the automatic fit is to find, put into the picture set.
    void PlaceByKnownOrientation()
    {
        for (const Orientation& o : kPhotos) {
            CKpic* k = Picture(folder + "/" + o.file);
            ASSERT_NE(k, nullptr) << o.file;
            const double f = (k->Width() / 2.0) / std::tan(kFieldOfView * kDegree / 2.0);
            k->m_Status = 3;
            k->m_Focal = f;
            k->m_DefaultFocal = f;
            k->m_Direction = CDPoint(o.yaw * kDegree, -o.pitch * kDegree);
            k->m_Roll = o.roll * kDegree;
        }
        CMcCore& core = doc->m_pComp->Core();
        core.SortPlacedFirst();
        core.m_CommonFocal = Picture(folder + "/" + kPhotos[0].file)->m_Focal;
        doc->ApplyProjection(22, 0);
        core.UpdateBoundingRect();
        doc->RefreshPieces();
    }

    std::string folder = std::string(SMRA_TESTDATA_DIR) + "/pano-skimage-petra-arches";
    std::string dir;
};

struct PieceRecord {
    std::string name;
    CPoint cell;
    int fit;
    int turns;
    uint32_t colour;
    bool operator==(const PieceRecord&) const = default;
};

std::vector<PieceRecord> Records(CSmDoc& doc)
{
    std::vector<PieceRecord> out;
    for (int i = 0; i < doc.GetPieceCount(); ++i) {
        const CPictureEntry& e = doc.m_entries[static_cast<size_t>(doc.GetPieceEntry(i))];
        const CKpic* k = doc.FindPictureByName(e.m_Name);
        out.push_back({e.m_Name, e.m_PieceSlot, e.m_FitStatus, e.m_QuarterTurns,
                       k ? static_cast<uint32_t>(k->m_ColourWord) : 0u});
    }
    return out;
}

TEST_F(MainRoadTest, PhotosToPanoramaFilesAndBackThroughTheProjectFile)
{
    std::vector<std::string> photos;
    for (const Orientation& o : kPhotos)
        photos.push_back(folder + "/" + o.file);
    for (const std::string& p : photos)
        if (!std::filesystem::exists(p))
            GTEST_SKIP() << p << " is not here";

    ASSERT_EQ(Import(photos), 1);
    ASSERT_EQ(doc->GetPieceCount(), 3);
    ASSERT_GE(doc->LayoutTripleInline(), 0);
    doc->OnProcessFit();
    if (doc->m_pComp->GetFittedCount() < 3)
        PlaceByKnownOrientation();
    ASSERT_EQ(doc->m_pComp->GetFittedCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(Entry(doc->GetPieceEntry(i)).m_FitStatus, 3) << i;

    doc->FitRenderAreaToPictures(CRect(-20000, -20000, 20000, 20000));
    doc->m_areaShown = 1;
    doc->m_sizeMode = 2;
    ASSERT_FALSE(doc->m_renderArea.IsRectEmpty());
    EXPECT_GT(doc->m_renderArea.Height(), doc->m_renderArea.Width()) << "a vertical panorama";
    EXPECT_TRUE(doc->GetCommandState(32804)->enabled);

    for (const char* ext : {"jpg", "bmp", "tif", "png"}) {
        const std::string out = dir + "/pano." + ext;
        dialog.QueuePath(out);
        ASSERT_TRUE(doc->OnCommand(32804));
        const CSize size = doc->m_outputSize;
        EXPECT_EQ(GetImageFileRect(out), CRect(0, 0, size.cx, size.cy)) << ext << " " << doc->m_statusMessage;
        EXPECT_EQ(doc->m_busyState, -2);
    }
    EXPECT_EQ(doc->GetTitle(), "pano");

    // Not black: the photos are in the output.
    CPixelArray pixels;
    CSize size = doc->m_outputSize;
    ASSERT_GT(LoadImageFile(dir + "/pano.png", pixels, size, CRect()), 0);
    const COLORREF centre = pixels[int64_t(size.cy / 2) * size.cx + size.cx / 2] & 0xFFFFFF;
    EXPECT_NE(centre, 0u);

    const std::vector<PieceRecord> before = Records(*doc);
    const int projection = doc->m_pComp->GetProjection();
    const std::string project = dir + "/p.fit";
    ASSERT_TRUE(doc->DoSave(project));
    ASSERT_TRUE(doc->FileNew());
    EXPECT_EQ(doc->GetPieceCount(), 0);
    ASSERT_TRUE(doc->OpenDocumentFile(project));
    // The reopened pieces come in the picture set's order, base picture first; each keeps
    // its cell, fit state, turn and colour.
    std::vector<PieceRecord> after = Records(*doc);
    std::vector<PieceRecord> expected = before;
    const auto byName = [](const PieceRecord& x, const PieceRecord& y) { return x.name < y.name; };
    std::sort(after.begin(), after.end(), byName);
    std::sort(expected.begin(), expected.end(), byName);
    EXPECT_EQ(after, expected);
    EXPECT_EQ(doc->m_pComp->GetProjection(), projection);
    EXPECT_EQ(doc->m_pComp->GetFittedCount(), 3);

    // The area round the fitted pictures and the output size of before (the file keeps the
    // optical centres in whole pixels, so the pictures' outline may move by a pixel); one
    // command renders.
    EXPECT_EQ(doc->m_renderArea, doc->m_pComp->GetBoundingRect());
    EXPECT_NEAR(doc->m_outputSize.cx, size.cx, 2);
    EXPECT_NEAR(doc->m_outputSize.cy, size.cy, 2);
    ASSERT_TRUE(doc->GetCommandState(32804)->enabled);
    const std::string again = dir + "/again.jpg";
    dialog.QueuePath(again);
    ASSERT_TRUE(doc->OnCommand(32804));
    EXPECT_EQ(GetImageFileRect(again), CRect(0, 0, doc->m_outputSize.cx, doc->m_outputSize.cy)) << doc->m_statusMessage;
}

} // namespace
} // namespace doctest
