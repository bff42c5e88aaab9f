// The program while a long job runs: a close request asks whether to break the job (and then
// closes as usual, or lets the job go on), and a termination during Render and Save (of a picture
// or a movie) leaves no staged output or temporary file behind.
#include <gtest/gtest.h>

#include <QTimer>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/helpers.h"
#include "document/render_save.h"
#include "document/sm_doc.h"
#include "document/update_hint.h"
#include "platform/qt/job_pump.h"
#include "shell/main_frame.h"
#include "shell/sm_app.h"
#include "tests/shell/fitted_project.h"
#include "tests/shell/test_shell_support.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRenderAndSave = 32804;

std::vector<std::string> StagedFiles(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind(".smra-", 0) == 0)
            names.push_back(e.path().filename().string());
    return names;
}

// The program with a fitted project of two pictures, ready to render its whole area.
void StartWithFittedProject(CSmApp& app, const fs::path& dir)
{
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string project = shelltest::MakeFittedProject(dir);
    ASSERT_TRUE(shelltest::StartProgram(app, {"Smra_En", project}));
    CSmDoc* doc = app.Document();
    ASSERT_TRUE(doc && app.MainFrame());
    doc->FitRenderAreaToPictures(CRect(-20000, -20000, 20000, 20000));
    doc->m_areaShown = 1;
}

TEST(JobSafety, ACloseDuringARenderOffersToBreakItAndTheAnswerIsHeld)
{
    struct Case {
        const char* what;
        int answer;
        bool breaks;
    };
    const Case cases[] = {{"yes: the render breaks, then the window closes", platform::IDYES, true},
                          {"no: the render goes on and the window stays", platform::IDNO, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / (std::string("job_close_") + (c.breaks ? "yes" : "no"));
        CSmApp app;
        StartWithFittedProject(app, dir);
        shelltest::ScriptedServices services;
        CSmDoc* doc = app.Document();
        CMainFrame* frame = app.MainFrame();
        ASSERT_TRUE(shelltest::ShowMainFrame(frame));
        // Changes to save: closing asks about them once the job is over.
        doc->SetModifiedFlag();

        // When the render starts, the window manager asks the window to close; the job's event
        // delivery brings that request.
        shelltest::JobStartHook hook([frame] {
            QTimer::singleShot(0, frame, [frame] { frame->close(); });
            platform::qt::CJobPump::Pump(true);
        });
        doc->AddView(&hook);
        services.box.QueueAnswer(c.answer);
        services.box.QueueAnswer(platform::IDNO); // the save question: do not save
        const std::string output = (dir / "pano.png").string();
        services.dialog.QueuePath(output);
        ASSERT_TRUE(frame->RouteCommand(kRenderAndSave));
        doc->RemoveView(&hook);

        ASSERT_FALSE(services.box.Shown().empty());
        EXPECT_NE(services.box.Shown()[0].find("job is still running"), std::string::npos) << services.box.Shown()[0];
        EXPECT_EQ(fs::exists(output), !c.breaks) << doc->m_statusMessage;
        EXPECT_TRUE(StagedFiles(dir).empty());
        EXPECT_FALSE(platform::IsJobRunning());
        if (c.breaks) {
            QTRY_VERIFY_WITH_TIMEOUT(!frame->isVisible(), 5000);
            ASSERT_EQ(services.box.Shown().size(), 2u) << "then the save question, as at any close";
        } else {
            QTest::qWait(200);
            EXPECT_TRUE(frame->isVisible());
            EXPECT_EQ(services.box.Shown().size(), 1u);
        }
        doc->SetModifiedFlag(false);
    }
}

// Files a movie leaves beside it for the movie program: the turned BMP and its parameter file.
std::vector<std::string> MovieTemporaryFiles(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.path().filename().string().rfind("$tmp", 0) == 0)
            names.push_back(e.path().filename().string());
    return names;
}

TEST(JobSafety, TerminatedDuringRenderAndSaveTheProgramLeavesNoStagedFile)
{
    // A picture, and a movie (whose panorama is rendered into a temporary BMP for the movie
    // program, a stand-in here that does nothing).
    for (const char* name : {"pano.png", "pano.mov"}) {
        SCOPED_TRACE(name);
        const fs::path dir = fs::path(SMRA_TEST_TMPDIR) / "job_sigterm";
        fs::remove_all(dir);
        const std::string output = (dir / name).string();
        const bool movie = GetFileKind(output) == FILE_KIND_MOVIE;
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        std::fflush(nullptr);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            CSmApp app;
            StartWithFittedProject(app, dir);
            shelltest::ScriptedServices services;
            CSmDoc* doc = app.Document();
            if (movie) {
                const fs::path program = dir / "prog" / "Vellumark";
                fs::create_directories(program.parent_path());
                std::ofstream(program) << "#!/bin/sh\nexit 0\n";
                fs::permissions(program, fs::perms::owner_all);
                render_save::SetMovieProgramFolder(program.parent_path().string());
            }
            // The render hands its first band to the writer, says so and waits there.
            render_save::SetBandRenderer([doc, fd = fds[1]](CMcomp&, const std::vector<int>& order,
                                                           const render_save::BandSink& sink) {
                CPixelArray band;
                band.SetSize(int64_t(doc->m_outputSize.cx) * render_save::kBandRows);
                if (order.empty() || sink(order.front(), band) < 0)
                    return -1;
                if (::write(fd, "y", 1) != 1)
                    ::_exit(3);
                for (;;)
                    ::pause();
                return 1;
            });
            services.dialog.QueuePath(output);
            app.MainFrame()->RouteCommand(kRenderAndSave);
            ::_exit(4); // the render ended without reaching the band
        }
        ::close(fds[1]);
        pollfd ready{fds[0], POLLIN, 0};
        char byte = 0;
        const bool inBand = ::poll(&ready, 1, 60000) == 1 && ::read(fds[0], &byte, 1) == 1;
        ::close(fds[0]);
        if (inBand) {
            EXPECT_EQ(StagedFiles(dir).size(), 1u) << "the render writes through a staged file";
            EXPECT_TRUE(MovieTemporaryFiles(dir).empty()) << "the BMP is named only once it is complete";
            EXPECT_EQ(::kill(child, SIGTERM), 0);
        } else {
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(inBand) << "the child's render never wrote a band (status " << status << ")";
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << "status " << status;
        EXPECT_TRUE(StagedFiles(dir).empty());
        EXPECT_TRUE(MovieTemporaryFiles(dir).empty());
        EXPECT_FALSE(fs::exists(output));
    }
}

} // namespace
