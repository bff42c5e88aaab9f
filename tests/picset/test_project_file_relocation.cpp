// Opening a project whose photos moved: the places searched without asking, the user's pick
// through the file dialog, and what a cancel or a refusal does to the open.
#include "picset/project_file.h"

#include <unistd.h>

#include "platform/message_box.h"
#include "test_project_file_support.h"

using namespace projtest;

namespace {

class Relocation : public ProjectFileTest {
protected:
    // Saves a project listing `stored` (paths as an earlier machine knew them) as proj/plan.fit.
    std::string SaveProject(const std::vector<std::string>& stored)
    {
        CMcCore core;
        for (const std::string& s : stored)
            core.m_Pictures.push_back(Picture(s, 3));
        const std::string path = PathOf("proj/plan.fit");
        std::filesystem::create_directories(m_dir / "proj");
        EXPECT_EQ(SaveProjectFile(core, path).code, 1);
        return path;
    }
    ProjectFileResult Load(const std::string& path)
    {
        m_core = std::make_unique<CMcCore>();
        m_core->m_Host = &host;
        return LoadProjectFile(*m_core, path);
    }
    std::vector<std::string> Paths() const
    {
        std::vector<std::string> out;
        for (const auto& p : m_core->m_Pictures)
            out.push_back(p->m_Path);
        return out;
    }

    RecordingHost host;
    std::unique_ptr<CMcCore> m_core;
};

TEST_F(Relocation, MovedPhotosAreFoundInTheUsualPlacesWithoutAsking)
{
    struct Case {
        const char* what;
        std::string stored;
        const char* placed; // relative to the test folder; null: at the stored path itself
        bool reported;      // told in the status bar
    };
    const std::string gone = "/nonexistent-seamora/Trip/";
    const Case cases[] = {
        {"still where it was", PathOf("photos/a.jpg"), nullptr, false},
        {"beside the project", gone + "a.jpg", "proj/a.jpg", true},
        {"in the project's folder of the old folder name", gone + "a.jpg", "proj/Trip/a.jpg", true},
        {"old backslash path, same folder name", "C:\\Users\\me\\Trip\\a.jpg", "proj/Trip/a.jpg", true},
        {"in the parent of the project's folder", gone + "a.jpg", "a.jpg", true},
        {"name differing in letter case", gone + "A.JPG", "proj/a.jpg", true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(m_dir);
        const std::string expected = c.placed ? Touch(c.placed) : Touch("photos/a.jpg");
        const std::string project = SaveProject({c.stored});
        host.Reset();
        ASSERT_EQ(Load(project).code, 1) << c.what;
        EXPECT_EQ(Paths(), std::vector<std::string>{expected}) << c.what;
        EXPECT_TRUE(host.questions.empty()) << c.what;
        if (c.reported) {
            ASSERT_FALSE(host.statuses.empty()) << c.what;
            EXPECT_EQ(host.statuses[0].number, "71") << c.what;
            EXPECT_EQ(host.statuses[0].a, expected) << c.what;
            EXPECT_EQ(host.statuses[0].b, c.stored) << c.what;
        } else {
            EXPECT_EQ(host.StatusNumbers(), std::vector<std::string>{"66"}) << c.what;
        }
    }
}

TEST_F(Relocation, ThePickedFolderIsSearchedForTheOtherPhotos)
{
    const std::string one = Touch("Elsewhere/IMG_1.jpg");
    const std::string two = Touch("Elsewhere/IMG_2.jpg");
    const std::string stored1 = "/nonexistent-seamora/card/img_1.jpg";
    const std::string stored2 = "/nonexistent-seamora/card/IMG_2.jpg";
    const std::string project = SaveProject({stored1, stored2});

    host.answers = {platform::IDYES, platform::IDOK};
    dialog.QueuePath(two); // the wrong photo first
    dialog.QueuePath(one);
    ASSERT_EQ(Load(project).code, 1);

    EXPECT_EQ(host.QuestionNumbers(), (std::vector<std::string>{"18", "19"}));
    EXPECT_EQ(host.questions[0].a, stored1);
    EXPECT_EQ(host.questions[1].a, stored1);
    ASSERT_EQ(dialog.Requests().size(), 2u);
    EXPECT_EQ(dialog.Requests()[0].title, stored1);
    EXPECT_EQ(dialog.Requests()[0].initialPath, stored1);
    EXPECT_EQ(dialog.Requests()[0].filter, "JPEG(*.jpg) | *.JPG;*.jpg;*.jpeg;*.JPEG | All Files | *.* ||");
    EXPECT_EQ(dialog.Requests()[0].defaultExt, "jpg");
    // The pick is kept as chosen (letter case included); the second photo is found beside it.
    EXPECT_EQ(Paths(), (std::vector<std::string>{one, two}));
}

TEST_F(Relocation, DialogFilterFollowsTheStoredExtension)
{
    struct Case {
        const char* stored;
        const char* filter;
        const char* defaultExt;
    };
    const Case cases[] = {
        {"/nonexistent-seamora/a.BMP", "BitMap(*.BMP) | *.BMP;*.bmp;*.Bmp | All Files | *.* ||", "bmp"},
        {"/nonexistent-seamora/a.jpeg", "JPEG(*.jpg) | *.JPG;*.jpg;*.jpeg;*.JPEG | All Files | *.* ||", "jpg"},
        {"/nonexistent-seamora/a.tif", " All Files | *.* ||", ""},
    };
    for (const Case& c : cases) {
        const std::string project = SaveProject({c.stored});
        platform::FakeFileDialog fresh;
        platform::SetFileDialog(&fresh);
        host.Reset();
        host.answers = {platform::IDYES};
        EXPECT_EQ(Load(project).code, 1);
        ASSERT_EQ(fresh.Requests().size(), 1u);
        EXPECT_EQ(fresh.Requests()[0].filter, c.filter);
        EXPECT_EQ(fresh.Requests()[0].defaultExt, c.defaultExt);
        platform::SetFileDialog(&dialog);
    }
}

TEST_F(Relocation, CancelToTheQuestionFailsTheOpenAndKeepsTheCurrentProject)
{
    Touch("proj/found.jpg");
    const std::string project = SaveProject({"/nonexistent-seamora/found.jpg", "/nonexistent-seamora/lost.jpg"});
    host.answers = {platform::IDCANCEL};
    ProjectFileResult r;
    std::unique_ptr<CMcCore> opened = OpenProjectFile(project, &host, &r);
    EXPECT_FALSE(opened);
    EXPECT_EQ(r.code, -3);

    host.answers = {platform::IDCANCEL};
    EXPECT_EQ(Load(project).code, -3);
    EXPECT_TRUE(m_core->m_Pictures.empty());
}

TEST_F(Relocation, APhotoNotFoundIsLeftOutAndTheProjectIsModified)
{
    const std::string kept = Touch("photos/kept.jpg");
    struct Case {
        const char* what;
        std::vector<int> answers;
        bool pickMissing;
        bool pickCancelled;
    };
    const Case cases[] = {
        {"No to the question", {platform::IDNO}, false, false},
        {"picked file vanished, no further try", {platform::IDYES, platform::IDNO}, true, false},
        {"Cancel in the file dialog", {platform::IDYES}, false, true},
    };
    for (const Case& c : cases) {
        // The lost photo comes first: the search goes on to the next one after it.
        const std::string project = SaveProject({"/nonexistent-seamora/lost.jpg", kept});
        host.Reset();
        host.answers.assign(c.answers.begin(), c.answers.end());
        if (c.pickMissing)
            dialog.QueuePath(PathOf("elsewhere/gone/lost.jpg"));
        if (c.pickCancelled)
            dialog.QueueCancel();
        const ProjectFileResult r = Load(project);
        ASSERT_EQ(r.code, 1) << c.what;
        EXPECT_TRUE(r.modified) << c.what;
        EXPECT_EQ(Paths(), std::vector<std::string>{kept}) << c.what;
        if (c.pickMissing) {
            EXPECT_EQ(host.QuestionNumbers(), (std::vector<std::string>{"18", "20"}));
            EXPECT_EQ(host.questions[1].a, PathOf("elsewhere/gone/lost.jpg"));
        }
        if (c.pickCancelled)
            EXPECT_EQ(host.QuestionNumbers(), std::vector<std::string>{"18"});
    }

    // Every photo found where it was: nothing to mark.
    const std::string project = SaveProject({kept});
    host.Reset();
    const ProjectFileResult r = Load(project);
    ASSERT_EQ(r.code, 1);
    EXPECT_FALSE(r.modified);
}

TEST_F(Relocation, APhotoFoundWithAnotherSizeTakesItsRealSize)
{
    const std::string photo = Touch("photos/a.jpg");
    struct Case {
        const char* what;
        CRect real;
        bool keepsFit;
    };
    const Case cases[] = {
        {"half-size copy of the same photo", CRect(0, 0, 320, 240), true},
        {"resized with rounding", CRect(0, 0, 1000, 751), true},
        {"cropped to another shape", CRect(0, 0, 480, 480), false},
        {"turned on its side", CRect(0, 0, 480, 640), false},
    };
    for (const Case& c : cases) {
        CMcCore core;
        auto p = Picture(photo, 3);
        p->m_Focal = 900.0;
        p->m_OpticalCentre = CDPoint(320.0, 240.0);
        p->m_Direction = CDPoint(0.5, 0.25);
        p->m_Points[0].kind = 1;
        p->m_Points[0].state = 3;
        p->m_Points[0].position = CDPoint(600.0, 400.0);
        core.m_Pictures.push_back(std::move(p));
        std::filesystem::create_directories(m_dir / "proj");
        const std::string project = PathOf("proj/plan.fit");
        ASSERT_EQ(SaveProjectFile(core, project).code, 1);

        host.Reset();
        host.imageRect = c.real;
        const ProjectFileResult r = Load(project);
        ASSERT_EQ(r.code, 1) << c.what;
        EXPECT_TRUE(r.modified) << c.what;
        ASSERT_EQ(m_core->m_Pictures.size(), 1u) << c.what;
        const CKpic& k = *m_core->m_Pictures[0];
        // Never the stored rectangle, which would have the photo read letter-boxed.
        EXPECT_EQ(k.m_PictureRect, c.real) << c.what;
        const double sx = c.real.Width() / 640.0;
        const double sy = c.real.Height() / 480.0;
        // Control points stay on the same spot of the photo.
        EXPECT_DOUBLE_EQ(k.m_Points[0].position.x, 600.0 * sx) << c.what;
        EXPECT_DOUBLE_EQ(k.m_Points[0].position.y, 400.0 * sy) << c.what;
        EXPECT_EQ(k.m_Direction, CDPoint(0.5, 0.25)) << c.what;
        CKpic fresh(photo, c.real);
        EXPECT_EQ(k.m_LensFocal, fresh.m_LensFocal) << c.what;
        if (c.keepsFit) {
            EXPECT_EQ(k.m_Status, 3) << c.what;
            EXPECT_NEAR(k.m_Focal, 900.0 * sx, 2.0) << c.what;
            EXPECT_NEAR(k.m_OpticalCentre.x, 320.5 * sx, 1e-9) << c.what;
            EXPECT_NEAR(k.m_OpticalCentre.y, 240.5 * sy, 1e-9) << c.what;
        } else {
            EXPECT_EQ(k.m_Status, 2) << c.what;
            EXPECT_EQ(k.m_Focal, fresh.m_DefaultFocal) << c.what;
            EXPECT_DOUBLE_EQ(k.m_OpticalCentre.x, 0.5 * (c.real.Width() - 1)) << c.what;
            EXPECT_DOUBLE_EQ(k.m_OpticalCentre.y, 0.5 * (c.real.Height() - 1)) << c.what;
        }
    }
}

TEST_F(Relocation, APathListedTwiceIsLoadedOnce)
{
    const std::string a = Touch("photos/a.jpg");
    const std::string b = Touch("photos/b.jpg");
    const std::string project = SaveProject({a, b, a});
    ASSERT_EQ(Load(project).code, 1);
    EXPECT_EQ(Paths(), (std::vector<std::string>{b, a}));
}

TEST_F(Relocation, ABareNameInTheCurrentFolderIsOfferedFirst)
{
    const std::string here = Touch("cwd/a.jpg");
    const std::string project = SaveProject({"/nonexistent-seamora/q/a.jpg"});
    char old[4096];
    ASSERT_TRUE(::getcwd(old, sizeof old));
    ASSERT_EQ(::chdir(PathOf("cwd").c_str()), 0);
    host.answers = {platform::IDYES};
    const ProjectFileResult r = Load(project);
    ASSERT_EQ(::chdir(old), 0);
    ASSERT_EQ(r.code, 1);
    EXPECT_EQ(Paths(), std::vector<std::string>{here});
    EXPECT_EQ(host.QuestionNumbers(), std::vector<std::string>{"22"});
    EXPECT_EQ(host.questions[0].a, here);
    EXPECT_EQ(host.StatusNumbers()[0], "68");
}

TEST_F(Relocation, LensDataIsEstimatedAgainFromThePhotoFound)
{
    const std::string moved = Touch("proj/a.jpg");
    const std::string project = SaveProject({"/nonexistent-seamora/a.jpg"});
    ASSERT_EQ(Load(project).code, 1);
    ASSERT_EQ(m_core->m_Pictures.size(), 1u);
    const CKpic& loaded = *m_core->m_Pictures[0];
    // The photo was sized (which reads its camera data) before the estimate.
    EXPECT_EQ(host.sized, std::vector<std::string>{moved});
    // The estimate matches what a record made fresh from that photo gets.
    host.GetImageFileRect(moved);
    CKpic fresh(moved, loaded.m_PictureRect);
    EXPECT_EQ(loaded.m_LensFocal, fresh.m_LensFocal);
    EXPECT_EQ(loaded.m_DefaultFocal, fresh.m_DefaultFocal);
    EXPECT_EQ(loaded.m_LensSource, fresh.m_LensSource);
    EXPECT_EQ(loaded.m_MinFocal, fresh.m_MinFocal);
    // The fitted focal itself is what the project stored, not the estimate.
    EXPECT_EQ(loaded.m_Focal, 1000.0);
}

TEST_F(Relocation, AMovedCameraPhotoGetsTheLensEstimateOfANewPicture)
{
    const std::filesystem::path source =
        std::filesystem::path(SMRA_TESTDATA_DIR) / "pano-daeyun-uiuc" / "uttower" / "uttower_left.jpg";
    if (!std::filesystem::exists(source))
        GTEST_SKIP() << "test data not found";
    host.realImageSizes = true;
    const std::string before = PathOf("card/left.jpg");
    std::filesystem::create_directories(m_dir / "card");
    std::filesystem::copy_file(source, before);
    const CRect rect = host.GetImageFileRect(before);
    ASSERT_FALSE(rect.IsRectEmpty());
    const CKpic imported(before, rect);

    CMcCore core;
    auto p = Picture(before, 3);
    p->m_PictureRect = rect;
    p->m_Focal = 1111.0;
    core.m_Pictures.push_back(std::move(p));
    std::filesystem::create_directories(m_dir / "proj");
    const std::string project = PathOf("proj/plan.fit");
    ASSERT_EQ(SaveProjectFile(core, project).code, 1);
    const std::string after = PathOf("proj/left.jpg");
    std::filesystem::rename(before, after);

    ASSERT_EQ(Load(project).code, 1);
    ASSERT_EQ(m_core->m_Pictures.size(), 1u);
    const CKpic& loaded = *m_core->m_Pictures[0];
    EXPECT_EQ(loaded.m_Path, after);
    EXPECT_EQ(loaded.m_LensFocal, imported.m_LensFocal);
    EXPECT_EQ(loaded.m_DefaultFocal, imported.m_DefaultFocal);
    EXPECT_EQ(loaded.m_LensSource, imported.m_LensSource);
    EXPECT_EQ(loaded.m_MinFocal, imported.m_MinFocal);
    EXPECT_EQ(loaded.m_CameraModel, imported.m_CameraModel);
    EXPECT_EQ(loaded.m_ExifFocalLength, imported.m_ExifFocalLength);
    EXPECT_EQ(loaded.m_Focal, 1111.0);
}

} // namespace
