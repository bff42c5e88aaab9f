// The guide documents as they ship beside the program: every guide command finds its document
// and hands it to the desktop, every menu item is described on its menu's manual page, and every
// link and picture of the documents leads to a shipped file.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>

#include "common/message_catalogue.h"
#include "document/sm_doc.h"
#include "platform/input_state.h"
#include "shell/aut_lay_view.h"
#include "shell/command_ids.h"
#include "shell/guide.h"
#include "shell/main_frame.h"
#include "shell/main_menu.h"
#include "shell/sm_app.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

// The guide folder beside the running test program, filled by the build as beside Smra_En.
fs::path ShippedGuide() { return fs::path(GuideFolder(ProgramFolder())); }

std::string Read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The text a reader sees of a menu item: no mnemonic marks, no accelerator, no outer blanks.
std::string ItemText(const std::string& menuText)
{
    std::string s = menuText.substr(0, menuText.find('\t'));
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&' && i + 1 < s.size() && s[i + 1] == '&') {
            out += '&';
            ++i;
        } else if (s[i] != '&') {
            out += s[i];
        }
    }
    const size_t b = out.find_first_not_of(' '), e = out.find_last_not_of(' ');
    return b == std::string::npos ? std::string() : out.substr(b, e - b + 1);
}

std::string Unescaped(std::string html)
{
    for (const auto& [entity, c] : std::map<std::string, std::string>{{"&amp;", "&"}, {"&gt;", ">"}, {"&lt;", "<"}}) {
        for (size_t p = html.find(entity); p != std::string::npos; p = html.find(entity, p + c.size()))
            html.replace(p, entity.size(), c);
    }
    return html;
}

class GuideCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!fs::is_regular_file(ShippedGuide() / "SmGuide.htm"))
            GTEST_SKIP() << "no guide documents beside the test program";
        m_app = std::make_unique<CSmApp>();
        ASSERT_TRUE(shelltest::StartProgram(*m_app, {"Smra_En"}));
        m_services.emplace();
    }
    void TearDown() override
    {
        m_app.reset();
        m_services.reset();
    }

    std::unique_ptr<CSmApp> m_app;
    std::optional<shelltest::ScriptedServices> m_services;
};

} // namespace

TEST_F(GuideCommandsTest, EachGuideCommandOpensItsShippedDocumentThroughTheDesktop)
{
    CMainFrame* frame = m_app->MainFrame();
    platform::FakeShellOpen& shell = m_services->shell;
    const std::string folder = ShippedGuide().string();

    struct Command {
        const char* what;
        std::function<void()> run;
        std::string document;
    };
    const std::vector<Command> commands = {
        {"Guide > Compact Guide", [&] { frame->MenuAction(ID_GUIDE_COMPACT)->trigger(); }, "SmGuide.htm"},
        {"Guide > Seamora Manual", [&] { frame->MenuAction(ID_GUIDE_MANUAL)->trigger(); }, "SmMnl.htm"},
        {"manager: Show [Compact Guide]",
         [&] {
             CAutLayView* manager = frame->ManagerView();
             QComboBox* list = manager->Combo(CAutLayView::IDC_WORK_ACTION);
             list->setCurrentIndex(list->findText(QStringLiteral("Show [Compact Guide]")));
             static_cast<QPushButton*>(manager->GetDlgItem(CAutLayView::IDC_WORK_GO))->click();
         },
         "SmGuide.htm"},
        // The job panel's "Show Guide" of a running fit or render.
        {"Show Guide of a fit", [&] { OpenGuide(Catalogue().productsFolderDoc); }, "SmPrdcts.htm"},
        {"Show Guide of a render", [&] { OpenGuide(Catalogue().productsFolderRender); }, "SmPrdcts.htm"},
    };
    ASSERT_TRUE(frame->MenuAction(ID_GUIDE_COMPACT)) << "the menu keeps its item when the document ships";
    ASSERT_TRUE(frame->MenuAction(ID_GUIDE_MANUAL));
    for (const Command& c : commands) {
        const size_t before = shell.Opened().size();
        c.run();
        // The first place asked is the guide folder, and the document is there: one request.
        ASSERT_EQ(shell.Opened().size(), before + 1) << c.what;
        EXPECT_EQ(shell.Opened().back(), folder + "/" + c.document) << c.what;
    }
    EXPECT_TRUE(m_services->box.Shown().empty()) << m_services->box.Shown().front();
}

TEST(GuideDocuments, EveryMenuItemIsDescribedOnItsMenusPage)
{
    const fs::path guide = ShippedGuide();
    if (!fs::is_directory(guide))
        GTEST_SKIP() << "no guide documents beside the test program";
    std::string page;
    int pages = 0;
    for (const MenuRow& row : MainMenuRows()) {
        if (row.depth == 0) {
            const fs::path file = guide / ("SmMnl" + ItemText(row.text) + ".htm");
            ASSERT_TRUE(fs::is_regular_file(file)) << file;
            page = Unescaped(Read(file));
            ++pages;
        } else if (row.depth == 1 && row.id != -1) {
            EXPECT_NE(page.find(ItemText(row.text)), std::string::npos) << "\"" << ItemText(row.text) << "\"";
        }
    }
    EXPECT_EQ(pages, 4);
}

TEST(GuideDocuments, LinksAndPicturesLeadToShippedFilesAndEveryPageIsReachable)
{
    const fs::path guide = ShippedGuide();
    if (!fs::is_directory(guide))
        GTEST_SKIP() << "no guide documents beside the test program";
    const std::regex ref(R"re((href|src)="([^"#]*)[^"]*")re");
    std::set<std::string> pages, reached = {"SmGuide.htm", "SmMnl.htm"};
    for (const auto& e : fs::directory_iterator(guide))
        if (e.path().extension() == ".htm")
            pages.insert(e.path().filename().string());
    ASSERT_GE(pages.size(), 3u);
    for (const std::string& name : pages) {
        const std::string html = Read(guide / name);
        EXPECT_NE(html.find("<title>"), std::string::npos) << name;
        for (auto it = std::sregex_iterator(html.begin(), html.end(), ref); it != std::sregex_iterator(); ++it) {
            const std::string target = (*it)[2];
            if (target.empty())
                continue;
            EXPECT_EQ(target.find(':'), std::string::npos) << name << " links outside the guide: " << target;
            EXPECT_TRUE(fs::is_regular_file(guide / target)) << name << " -> " << target;
            reached.insert(target);
        }
    }
    for (const std::string& name : pages)
        EXPECT_TRUE(reached.count(name)) << name << " is linked from no other page";
}
