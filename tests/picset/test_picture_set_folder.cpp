// Opening a real folder of photos into a picture set: every photo becomes a record with its
// size and a lens estimate from its own camera data.
#include "picset/picture_set_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/mcomp.h"
#include "platform/message_box.h"

namespace fs = std::filesystem;

TEST(PictureSetFolder, RealPanoramaSetOpensWithItsCameraData)
{
    const fs::path dir = fs::path(SMRA_TESTDATA_DIR) / "pano-skimage-petra-arches";
    if (!fs::exists(dir))
        GTEST_SKIP() << "no photo set at " << dir;
    platform::FakeMessageBox box;
    platform::SetMessageBox(&box);
    SetEngineModeFlags();
    CMcHost host;
    CMcomp set;
    set.SetHost(&host);

    // Only the photos, in name order (the licence and project files are left out).
    const std::vector<std::string> files = ListPictureFiles(dir.string());
    ASSERT_EQ(files.size(), 9u);
    EXPECT_TRUE(std::is_sorted(files.begin(), files.end()));
    ASSERT_EQ(OpenPictureFolder(set, dir.string()), 9);
    EXPECT_TRUE(box.Shown().empty());

    struct Expected {
        const char* name;
        int w, h;
        double mm;
    };
    const Expected expected[] = {{"DFM_4209.jpg", 3000, 1987, 18.0}, {"JDW_0302.jpg", 477, 720, 18.0},
                                 {"JDW_9520.jpg", 720, 477, 40.0}};
    for (const Expected& e : expected) {
        const CKpic* k = set.FindPicture((dir / e.name).string());
        ASSERT_NE(k, nullptr) << e.name;
        EXPECT_EQ(k->m_PictureRect, CRect(0, 0, e.w, e.h)) << e.name;
        EXPECT_EQ(k->m_CameraModel, "NIKON D7000") << e.name;
        EXPECT_DOUBLE_EQ(k->m_ExifFocalLength, e.mm) << e.name;
        // No sensor resolution and a model outside the camera table: the size rule with the
        // EXIF focal length, which also replaces the long default of an odd height.
        const double d = std::hypot(double(e.w), double(e.h));
        const double v = std::trunc(4.0 * std::sqrt(d));
        EXPECT_EQ(k->m_LensSource, 0) << e.name;
        EXPECT_NEAR(k->m_LensFocal, d * 23.1 * e.mm / v, 1e-9) << e.name;
        EXPECT_EQ(k->m_DefaultFocal, k->m_LensFocal) << e.name;
        EXPECT_EQ(k->m_Focal, k->m_DefaultFocal) << e.name;
        EXPECT_DOUBLE_EQ(k->m_MinFocal, 0.37 * d) << e.name;
        EXPECT_GT(k->m_LensFocal, k->m_MinFocal) << e.name;
    }

    const std::string line = FormatPictureLine(*set.GetPictureAt(0));
    EXPECT_EQ(line, (dir / "DFM_4209.jpg").string() + "\t3000x1987\t6260.2\tsize\t1331.4\t6260.2\tNIKON D7000\t18.00");
}

TEST(PictureSetFolder, FolderWithoutPhotosOrMissingGivesNothing)
{
    const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "picture_set" / "no_photos";
    fs::remove_all(dir);
    fs::create_directories(dir / "sub.jpg");
    std::ofstream(dir / "notes.txt") << "x";
    std::ofstream(dir / "photo.tiff") << "x"; // only ".TIF" is a TIFF picture
    EXPECT_TRUE(ListPictureFiles(dir.string()).empty());
    EXPECT_TRUE(ListPictureFiles((dir / "absent").string()).empty());
}
