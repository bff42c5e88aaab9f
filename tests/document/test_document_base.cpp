// The document base: views found by class name and told of changes, the save-changes question
// before a document is replaced, saving that fails, and the command table.
#include <gtest/gtest.h>

#include "doc_test_support.h"
#include "document/document_base.h"
#include "platform/file_dialog.h"
#include "platform/message_box.h"

namespace {

class NamedView : public IDocumentView {
public:
    explicit NamedView(const char* name) : m_name(name) {}
    const char* GetRuntimeClassName() const override { return m_name; }
    void OnUpdate(IDocumentView*, int hint, const HintObject&) override { hints.push_back(hint); }
    std::vector<int> hints;

private:
    const char* m_name;
};

// A document whose open and save succeed or fail as the test says, counting its steps.
class ScriptedDocument : public CDocument {
public:
    bool openOk = true;
    bool saveOk = true;
    int news = 0;
    std::vector<std::string> saved;
    std::vector<std::string> opened;
    using CDocument::AddCommand;

protected:
    bool OnNewDocument() override
    {
        ++news;
        return true;
    }
    bool OnOpenDocument(const std::string& path) override
    {
        opened.push_back(path);
        return openOk;
    }
    bool OnSaveDocument(const std::string& path) override
    {
        saved.push_back(path);
        return saveOk;
    }
};

class DocumentBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::SetMessageBox(&box);
        platform::SetFileDialog(&dialog);
    }
    void TearDown() override
    {
        platform::SetMessageBox(nullptr);
        platform::SetFileDialog(nullptr);
    }
    platform::FakeMessageBox box;
    platform::FakeFileDialog dialog;
    ScriptedDocument doc;
};

TEST_F(DocumentBaseTest, ViewsAreFoundByClassNameAndToldOfChangesExceptTheSender)
{
    NamedView work("CSmView"), thumb("CThumView"), other("CSmView");
    doc.AddView(&work);
    doc.AddView(&thumb);
    doc.AddView(&other);
    EXPECT_EQ(doc.FindViewByClass("CThumView"), &thumb);
    EXPECT_EQ(doc.FindViewByClass("CSmView"), &work) << "the first view of the class";
    EXPECT_EQ(doc.FindViewByClass("CLeftView"), nullptr);

    doc.UpdateAllViews(&thumb, 41);
    EXPECT_EQ(work.hints, std::vector<int>{41});
    EXPECT_TRUE(thumb.hints.empty());

    doc.RemoveView(&work);
    EXPECT_EQ(work.GetDocument(), nullptr);
    doc.UpdateAllViews(nullptr, 37);
    EXPECT_EQ(work.hints, std::vector<int>{41});
    EXPECT_EQ(thumb.hints, std::vector<int>{37});
}

TEST_F(DocumentBaseTest, SaveChangesQuestionDecidesWhetherTheDocumentMayBeReplaced)
{
    struct Case {
        int answer;
        bool saveOk;
        bool proceeds;
        int saves;
    };
    const Case cases[] = {
        {platform::IDYES, true, true, 1},
        {platform::IDYES, false, false, 1}, // a save that fails keeps the project
        {platform::IDNO, true, true, 0},
        {platform::IDCANCEL, true, false, 0},
    };
    for (const Case& c : cases) {
        ScriptedDocument d;
        d.SetPathName("/tmp/a.fit");
        d.SetModifiedFlag();
        d.saveOk = c.saveOk;
        box.Clear();
        box.QueueAnswer(c.answer);
        EXPECT_EQ(d.FileNew(), c.proceeds) << c.answer;
        EXPECT_EQ(static_cast<int>(d.saved.size()), c.saves);
        EXPECT_EQ(d.news, c.proceeds ? 1 : 0);
        ASSERT_EQ(box.Shown().size(), 1u);
        EXPECT_EQ(box.Types()[0] & 0xF, platform::MB_YESNOCANCEL);
        EXPECT_EQ(d.IsModified(), !c.proceeds);
    }
}

TEST_F(DocumentBaseTest, OpenAsksFirstAndAFailedOpenKeepsPathTitleAndFlag)
{
    doc.SetPathName("/photos/old.fit");
    doc.SetModifiedFlag();
    box.QueueAnswer(platform::IDCANCEL);
    EXPECT_FALSE(doc.OpenDocumentFile("/photos/new.fit"));
    EXPECT_TRUE(doc.opened.empty()) << "cancelled before anything was read";

    box.QueueAnswer(platform::IDNO);
    doc.openOk = false;
    EXPECT_FALSE(doc.OpenDocumentFile("/photos/new.fit"));
    EXPECT_EQ(doc.GetPathName(), "/photos/old.fit");
    EXPECT_EQ(doc.GetTitle(), "old.fit");
    EXPECT_TRUE(doc.IsModified());

    box.QueueAnswer(platform::IDNO);
    doc.openOk = true;
    EXPECT_TRUE(doc.OpenDocumentFile("/photos/new.fit"));
    EXPECT_EQ(doc.GetPathName(), "/photos/new.fit");
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(DocumentBaseTest, SaveAsTakesTheDialogsNameAndAFailedSaveKeepsTheModifiedFlag)
{
    doc.SetModifiedFlag();
    dialog.QueueCancel();
    EXPECT_FALSE(doc.FileSave()) << "no path yet: Save As, cancelled";
    EXPECT_TRUE(doc.saved.empty());

    doc.saveOk = false;
    dialog.QueuePath("/photos/p.fit");
    EXPECT_FALSE(doc.FileSaveAs());
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "");

    doc.saveOk = true;
    dialog.QueuePath("/photos/p.fit");
    EXPECT_TRUE(doc.FileSaveAs());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), "/photos/p.fit");
    EXPECT_EQ(dialog.Requests().back().defaultExt, "fit");
}

TEST_F(DocumentBaseTest, CommandTableRunsEnabledHandlersAndLeavesUnknownIdsToOthers)
{
    int runs = 0;
    bool enabled = false;
    doc.AddCommand(32816, [&] { ++runs; }, [&] { return CommandState{enabled, true}; });
    EXPECT_FALSE(doc.OnCommand(4242));
    EXPECT_FALSE(doc.GetCommandState(4242).has_value());

    ASSERT_TRUE(doc.GetCommandState(32816).has_value());
    EXPECT_FALSE(doc.GetCommandState(32816)->enabled);
    EXPECT_TRUE(doc.OnCommand(32816)) << "handled, but a disabled command does nothing";
    EXPECT_EQ(runs, 0);
    enabled = true;
    EXPECT_TRUE(doc.OnCommand(32816));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(doc.GetCommandState(ID_FILE_NEW)->enabled) << "a handler without state is enabled";
}

} // namespace
