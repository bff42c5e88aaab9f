// The picture set's list: order with fitted pictures first, lookup by path, opening files,
// the user's removal of pictures with its questions, pixels on demand and the picture focal.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "platform/message_box.h"
#include "imagefile/image_file.h"
#include "test_picture_set_fakes.h"
#include "../support/refused_pictures.h"

namespace {

class PictureSetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEngineModeFlags();
        platform::SetMessageBox(&m_box);
        m_set.m_Host = &m_host;
        m_host.set = &m_set;
    }

    // Opens one picture per status (named A, B, C, ...), gives each its status and sorts.
    void OpenWithStatuses(const std::string& folder, const std::vector<int>& statuses)
    {
        m_folder = std::make_unique<PhotoFolder>(folder);
        for (size_t i = 0; i < statuses.size(); ++i) {
            const std::string name(1, static_cast<char>('A' + i));
            CKpic* k = m_set.OpenPicture(m_folder->Add(m_host, name + ".jpg", 640, 480));
            ASSERT_NE(k, nullptr);
            k->m_Status = statuses[i];
        }
        m_set.SortPlacedFirst();
    }

    // The names (letters) of the list in order.
    std::string Order() const
    {
        std::string s;
        for (int i = 0; i < m_set.GetPictureCount(); ++i) {
            const std::string& p = m_set.GetPictureAt(i)->m_Path;
            s += p[p.size() - 5];
        }
        return s;
    }

    platform::FakeMessageBox m_box;
    RecordingHost m_host;
    CMcCore m_set;
    std::unique_ptr<PhotoFolder> m_folder;
};

} // namespace

TEST_F(PictureSetTest, EmptySetAnswersNothingFound)
{
    EXPECT_EQ(m_set.GetPictureAt(0), nullptr);
    EXPECT_EQ(m_set.GetPictureAt(-1), nullptr);
    EXPECT_EQ(m_set.GetFirstPicture(), nullptr);
    EXPECT_EQ(m_set.FindPictureIndex("/any.jpg"), -1);
    EXPECT_EQ(m_set.FindPictureByPath("/any.jpg"), nullptr);
    m_set.SortPlacedFirst();
    EXPECT_EQ(m_set.GetFittedCount(), 0);
    EXPECT_EQ(m_set.DeletePicture(0), -1);
    m_set.RemovePictureAt(0);
    EXPECT_EQ(m_set.CountReadyPictures(), 0);
    EXPECT_EQ(m_set.EnsurePictureImage(nullptr), -1);
    EXPECT_EQ(m_set.InitPictureFocal(nullptr), -1);
}

TEST_F(PictureSetTest, SortPutsFittedPicturesFirstAndKeepsBothOrders)
{
    struct Case {
        std::vector<int> statuses;
        const char* order;
        int fitted;
    };
    const Case cases[] = {
        {{3, 1, 3, 0}, "ACBD", 2},
        {{0, 2, 4, 1, 3, 0}, "CEABDF", 2},
        {{3, 3, 3}, "ABC", 3},
        {{0, 1, 2}, "ABC", 0},
        {{0, 3}, "BA", 1},
    };
    int n = 0;
    for (const Case& c : cases) {
        m_set.DeleteAllPictures();
        OpenWithStatuses("sort" + std::to_string(n++), c.statuses);
        EXPECT_EQ(Order(), c.order);
        EXPECT_EQ(m_set.GetFittedCount(), c.fitted) << c.order;
    }
}

TEST_F(PictureSetTest, SortTellsTheHostUnlessATimedJobRuns)
{
    OpenWithStatuses("sorthost", {0, 3});
    m_host.listChanges.clear();
    m_set.SortPlacedFirst();
    m_set.SetJobMode(1);
    m_set.SortPlacedFirst();
    m_set.SetJobMode(2);
    m_set.SortPlacedFirst();
    EXPECT_EQ(m_host.listChanges, (std::vector<int>{0, 0}));
}

TEST_F(PictureSetTest, OpeningFindsFilesOnceAndPathsIgnoreLetterCase)
{
    PhotoFolder folder("open");
    const std::string path = folder.Add(m_host, "Pic.JPG", 641, 480);
    CKpic* k = m_set.OpenPicture(path);
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->m_Path, path);
    EXPECT_EQ(k->m_PictureRect, CRect(0, 0, 641, 480));
    // The lens estimate ran on the new record (no camera data for this file: the size rule).
    EXPECT_EQ(k->m_LensSource, 0);
    EXPECT_DOUBLE_EQ(k->m_LensFocal, 0.8 * std::hypot(641.0, 480.0));
    EXPECT_DOUBLE_EQ(k->m_Focal, k->m_DefaultFocal);
    EXPECT_EQ(m_set.m_Activity, 3);

    EXPECT_EQ(m_set.OpenPicture(path), k);
    // The same file by a path with "." and ".." parts: the file system's full name is used.
    const std::string roundabout = (folder.Dir() / "sub" / ".." / "." / "Pic.JPG").string();
    std::filesystem::create_directories(folder.Dir() / "sub");
    EXPECT_EQ(m_set.OpenPicture(roundabout), k);
    EXPECT_EQ(m_set.GetPictureCount(), 1);

    std::string upper = path;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
    EXPECT_EQ(m_set.FindPictureIndex(upper), 0);
    EXPECT_EQ(m_set.FindPictureByPath(upper), k);
    EXPECT_EQ(m_set.FindPictureIndex(path + "x"), -1);
    EXPECT_TRUE(m_host.questions.empty());
}

TEST_F(PictureSetTest, OpeningAMissingOrUnsupportedFileAsksAndAddsNothing)
{
    PhotoFolder folder("openfail");
    int result = 0;
    EXPECT_EQ(m_set.OpenPicture(folder.PathOf("missing.jpg"), result), nullptr);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(LastUnsupportedFeature(), "no such file");
    const std::string unsized = folder.PathOf("notes.txt");
    std::ofstream(unsized) << "text";
    EXPECT_EQ(m_set.OpenPicture(unsized, result), nullptr);
    EXPECT_EQ(result, -2);
    EXPECT_EQ(m_set.OpenPicture(std::string(), result), nullptr);

    EXPECT_EQ(m_host.QuestionNumbers(), (std::vector<int>{21, 24, 21}));
    EXPECT_EQ(m_host.questions[0].a, folder.PathOf("missing.jpg"));
    EXPECT_EQ(m_host.questions[1].a, unsized);
    // The real adapter shows them with the catalogue texts.
    ASSERT_EQ(m_box.Shown().size(), 3u);
    EXPECT_EQ(m_box.Shown()[1], "We don't support the file format of \n " + unsized);
    EXPECT_EQ(m_set.GetPictureCount(), 0);
}

TEST_F(PictureSetTest, OpeningARefusedFileSaysWhatIsWrongWithIt)
{
    PhotoFolder folder("refused");
    m_host.realFiles = true;
    for (const testsupport::RefusedPicture& f : testsupport::MakeRefusedPictures(folder.Dir().string())) {
        // A damaged file with a sound header is sized, and refused only when it is read.
        if (f.reason.empty())
            continue;
        SCOPED_TRACE(f.path);
        int result = 0;
        EXPECT_EQ(m_set.OpenPicture(f.path, result), nullptr);
        EXPECT_EQ(result, -2);
        ASSERT_FALSE(m_box.Shown().empty());
        EXPECT_EQ(m_box.Shown().back(), "We don't support the file format of \n " + f.path + " (" + f.reason + ")");
        // The reason stays for callers that report the refusal in their own words.
        EXPECT_EQ(LastUnsupportedFeature(), f.reason);
    }
    // A sound header of a picture larger than a project may keep: no picture enters the set
    // that the project's loader would refuse.
    const std::string huge = folder.Dir().string() + "/huge.jpg";
    const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 17, 8, 0xFF, 0xFF, 0xFF, 0xFF, 3,
                                    1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0, 0xFF, 0xD9};
    std::ofstream(huge, std::ios::binary).write(reinterpret_cast<const char*>(header), sizeof header);
    int result = 0;
    EXPECT_EQ(m_set.OpenPicture(huge, result), nullptr);
    EXPECT_EQ(result, -2);
    ASSERT_FALSE(m_box.Shown().empty());
    EXPECT_EQ(m_box.Shown().back(), "We don't support the file format of \n " + huge +
                                        " (too large: 65535 x 65535 pixels, over the limit of 2147483647 pixels)");
    EXPECT_EQ(m_set.GetPictureCount(), 0);
}

TEST_F(PictureSetTest, RemovingTheFittedBaseIsRefusedWhileOthersAreFitted)
{
    OpenWithStatuses("base", {3, 3, 0});
    EXPECT_EQ(m_set.DeletePicture(0), -1);
    EXPECT_EQ(m_host.QuestionNumbers(), std::vector<int>{14});
    EXPECT_EQ(m_host.questions[0].type, 0);
    EXPECT_EQ(m_host.questions[0].a, m_folder->PathOf("A.jpg"));
    EXPECT_EQ(Order(), "ABC");
    EXPECT_EQ(m_set.GetPictureAt(1)->m_Status, 3);

    // The only fitted picture may go.
    m_set.DeleteAllPictures();
    m_host.questions.clear();
    OpenWithStatuses("base2", {3, 1, 0});
    EXPECT_EQ(m_set.DeletePicture(0), 2);
    EXPECT_TRUE(m_host.questions.empty());
    EXPECT_EQ(Order(), "BC");
    EXPECT_EQ(m_set.GetFittedCount(), 0);
}

TEST_F(PictureSetTest, RemovingAFittedPictureUnfitsTheFittedOnesAfterIt)
{
    OpenWithStatuses("unfit", {3, 3, 4, 3, 1});
    // Message 13 is answered 1 by the adapter without a box: the removal goes on.
    EXPECT_EQ(m_set.DeletePicture(1), 4);
    EXPECT_EQ(m_host.QuestionNumbers(), std::vector<int>{13});
    EXPECT_EQ(m_host.questions[0].type, 1);
    EXPECT_TRUE(m_box.Shown().empty());
    EXPECT_EQ(Order(), "ACDE");
    EXPECT_EQ(m_set.GetPictureAt(0)->m_Status, 3);
    EXPECT_EQ(m_set.GetPictureAt(1)->m_Status, 2);
    EXPECT_EQ(m_set.GetPictureAt(2)->m_Status, 2);
    EXPECT_EQ(m_set.GetPictureAt(3)->m_Status, 1);
    EXPECT_EQ(m_set.GetFittedCount(), 1);
}

TEST_F(PictureSetTest, RemovalCancelledByTheHostChangesNothing)
{
    OpenWithStatuses("cancel", {3, 3, 3});
    m_host.answers = {2};
    EXPECT_EQ(m_set.DeletePicture(1), -1);
    EXPECT_EQ(Order(), "ABC");
    EXPECT_EQ(m_set.GetFittedCount(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_set.GetPictureAt(i)->m_Status, 3);
}

TEST_F(PictureSetTest, RemovingTheLastFittedOrAnUnfittedPictureAsksNothing)
{
    OpenWithStatuses("quiet", {3, 3, 0, 2});
    EXPECT_EQ(m_set.DeletePicture(1), 3);
    EXPECT_EQ(Order(), "ACD");
    EXPECT_EQ(m_set.GetFittedCount(), 1);
    EXPECT_EQ(m_set.DeletePicture(2), 2);
    EXPECT_EQ(Order(), "AC");
    EXPECT_EQ(m_set.DeletePicture(5), -1);
    EXPECT_TRUE(m_host.questions.empty());
}

TEST_F(PictureSetTest, ARemovedRecordLeavesNoWorkingListPointingAtIt)
{
    OpenWithStatuses("dangling", {3, 0, 0});
    CKpic* gone = m_set.GetPictureAt(1);
    CKpic* kept = m_set.GetPictureAt(2);
    m_set.m_RenderList = {kept, gone};
    m_set.m_LayoutGrid = {gone, kept, nullptr};
    m_set.m_SavedBase = gone;
    m_set.m_Candidates.assign(2, FitCandidate());
    m_set.m_Candidates[0].picture = gone;
    m_set.m_Candidates[0].uppic = kept;
    m_set.m_Candidates[1].uppic = gone;

    EXPECT_EQ(m_set.DeletePicture(1), 2);
    EXPECT_EQ(m_set.m_RenderList, std::vector<CKpic*>{kept});
    EXPECT_EQ(m_set.m_LayoutGrid, (std::vector<CKpic*>{nullptr, kept, nullptr}));
    EXPECT_EQ(m_set.m_SavedBase, nullptr);
    EXPECT_EQ(m_set.m_Candidates[0].picture, nullptr);
    EXPECT_EQ(m_set.m_Candidates[0].uppic, kept);
    EXPECT_EQ(m_set.m_Candidates[1].uppic, nullptr);

    m_set.DeleteAllPictures();
    EXPECT_TRUE(m_set.m_RenderList.empty());
    EXPECT_TRUE(m_set.m_LayoutGrid.empty());
    EXPECT_EQ(m_set.m_Candidates[0].uppic, nullptr);
    EXPECT_EQ(m_set.GetFittedCount(), 0);
}

TEST_F(PictureSetTest, MoveToEndAndReadyCount)
{
    OpenWithStatuses("move", {0, 0, 0});
    m_set.MovePictureToEnd(m_folder->PathOf("a.jpg")); // letter case does not matter
    EXPECT_EQ(Order(), "BCA");
    m_set.MovePictureToEnd(m_folder->PathOf("nothing.jpg"));
    EXPECT_EQ(Order(), "BCA");
    m_set.GetPictureAt(0)->FeaturesReady = 1;
    m_set.GetPictureAt(2)->FeaturesReady = 1;
    EXPECT_EQ(m_set.CountReadyPictures(), 2);
}

TEST_F(PictureSetTest, PixelsAreLoadedThroughTheHostOnlyWhenMissing)
{
    OpenWithStatuses("pixels", {0});
    CKpic* k = m_set.GetPictureAt(0);
    EXPECT_EQ(m_set.EnsurePictureImage(k), 1);
    EXPECT_EQ(m_set.EnsurePictureImage(k), 1);
    EXPECT_EQ(m_host.loads, std::vector<std::string>{k->m_Path});
    EXPECT_EQ(k->Pixels.GetSize(), 640 * 480);

    // Failures of the document's load come back unchanged.
    for (int failure : {0, -1, -6}) {
        k->Pixels.RemoveAll();
        m_host.loadResult = failure;
        EXPECT_EQ(m_set.EnsurePictureImage(k), failure);
    }
    m_set.m_Host = nullptr;
    EXPECT_EQ(m_set.EnsurePictureImage(k), -1);
}

TEST_F(PictureSetTest, PictureFocalFollowsTheLensFocalRelativeToTheBase)
{
    OpenWithStatuses("focal", {0, 0});
    CKpic* base = m_set.GetPictureAt(0);
    CKpic* k = m_set.GetPictureAt(1);
    m_set.m_CommonFocal = 1200.0;
    struct Case {
        int individual;
        int baseSource;
        double baseLens;
        int source;
        int result;
        double focal;
    };
    const Case cases[] = {
        {1, 3, 500.0, 1, 1, 1200.0 * 750.0 / 500.0},
        {0, 3, 500.0, 1, 0, 1200.0},
        {1, -1, 500.0, 3, 0, 1200.0},
        {1, 0, 500.0, 3, 0, 1200.0},
        {1, 3, 500.0, 0, 0, 1200.0},
        {1, 3, 0.0, 3, 0, 1200.0},
    };
    for (const Case& c : cases) {
        m_set.m_IndividualFocal = c.individual;
        base->m_LensSource = c.baseSource;
        base->m_LensFocal = c.baseLens;
        k->m_LensSource = c.source;
        k->m_LensFocal = 750.0;
        k->m_Focal = 1.0;
        EXPECT_EQ(m_set.InitPictureFocal(k), c.result);
        EXPECT_DOUBLE_EQ(k->m_Focal, c.focal);
    }
}

TEST_F(PictureSetTest, ProjectionChangeInvalidatesTheRegions)
{
    m_set.m_RegionsValid = 1;
    m_set.SetProjection(23);
    EXPECT_EQ(m_set.GetProjection(), 23);
    EXPECT_EQ(m_set.m_RegionsValid, 0);
}
