// Long jobs seen from the work view: events keep being delivered by the engine's own break
// polls, also where no timer dial turns, and a job's guard is up while they are.
#include <gtest/gtest.h>

#include <QTimer>

#include <filesystem>

#include "document/sm_doc.h"
#include "picset/mcomp.h"
#include "platform/qt/qt_services.h"
#include "platform/system_services.h"
#include "tests/shell/fitted_project.h"
#include "views/sm_view.h"

namespace {

TEST(WorkViewJobs, ARenderLetsEventsThroughFromItsBreakPolls)
{
    const std::filesystem::path dir = std::filesystem::path(SMRA_TEST_TMPDIR) / "work_view_jobs";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string project = shelltest::MakeFittedProject(dir);

    // A document with the work view only: no information pane, so no timer dial that waits.
    CSmDoc doc;
    CSmView view;
    view.resize(640, 480);
    doc.AddView(&view);
    view.OnInitialUpdate();
    ASSERT_TRUE(doc.OpenDocumentFile(project));
    doc.SetRenderAreaToFittedPictures(true);
    doc.m_areaShown = 1;

    // The window layer's pump, as the program has it.
    platform::qt::CQtEventPump pump;
    platform::SetEventPump(&pump);
    int firedInJob = 0;
    QTimer::singleShot(0, &view, [&firedInJob] { firedInJob += platform::IsJobRunning() ? 1 : 0; });
    doc.m_pComp->SetBreakMode(2);
    const int result = doc.RenderToFile((dir / "out.png").string());
    doc.m_pComp->SetBreakMode(0);
    doc.RemoveView(&view);
    platform::SetEventPump(nullptr);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(firedInJob, 1) << "the timer ran while the render was going on";
    EXPECT_FALSE(platform::IsJobRunning());
}

} // namespace
