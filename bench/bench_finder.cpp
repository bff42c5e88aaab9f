// The image finder on a folder of 200 photos of 6000 x 4000 (hard links of one photo) and a few
// sub-folders, offscreen, with the real finder and document and the program's idle calls: the
// time the folder takes to list, the worst lateness of a 10 ms timer while it lists and while
// the thumbnails fill in, the time to the last thumbnail, and that time against libjpeg-turbo's
// one-eighth decodes of the same files in the same run.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_photo.h"
#include "document/sm_doc.h"
#include "platform/qt/idle_driver.h"
#include "shell/left_view.h"

namespace fs = std::filesystem;

namespace {

int PendingThumbnails(QTreeWidgetItem* item)
{
    int n = 0;
    for (int i = 0; i < item->childCount(); ++i) {
        const QString t = item->child(i)->text(0);
        if (!t.isEmpty() && t.back() == QLatin1Char(' '))
            ++n;
    }
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = 200;
    const std::string photo = bench::MakePhoto();
    const fs::path home = fs::temp_directory_path() / "bench_finder_home";
    const fs::path folder = home / "photos";
    fs::remove_all(home);
    fs::create_directories(folder);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04d.jpg", i);
        const fs::path p = folder / name;
        std::error_code ec;
        fs::create_hard_link(photo, p, ec);
        if (ec)
            fs::copy_file(photo, p);
        files.push_back(p.string());
    }
    for (const char* sub : {"day1", "day2", "empty", "nested/deeper"}) {
        fs::create_directories(folder / sub);
        if (std::string(sub) != "empty")
            fs::create_hard_link(photo, folder / sub / "x.jpg");
    }

    QApplication app(argc, argv);
    CSmDoc doc;
    CLeftView view;
    view.SetHomeFolder(home.string());
    // --one-at-a-time: every step reads its own picture (no worker), for comparison.
    const bool oneAtATime = argc > 1 && std::string(argv[1]) == "--one-at-a-time";
    view.SetReadAhead(!oneAtATime);
    doc.AddView(&view);
    view.resize(300, 900);
    view.show();
    view.OnInitialUpdate();
    QTreeWidgetItem* drive = view.Root()->child(0);
    drive->setExpanded(true);
    QTreeWidgetItem* item = CLeftView::Child(drive, "photos");
    if (!item) {
        std::fprintf(stderr, "the photo folder is not listed\n");
        return 1;
    }

    // A 10 ms timer: its worst lateness while the folder lists and the thumbnails fill in.
    QElapsedTimer clock;
    clock.start();
    // A late tick whose wait overlaps the listing counts for the listing, any other for the
    // thumbnail pass.
    qint64 last = -1, worst = 0, worstListing = 0, worstThumbs = 0;
    qint64 fillStart = -1, fillEnd = -1;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (last >= 0) {
            const qint64 late = now - last - 10'000'000;
            worst = std::max(worst, late);
            const bool overlapsFill = fillStart >= 0 && last < (fillEnd < 0 ? now : fillEnd) && now > fillStart;
            (overlapsFill ? worstListing : worstThumbs) = std::max(overlapsFill ? worstListing : worstThumbs, late);
        }
        last = now;
    });

    // The program's idle calls: after 100 calls per quiet spell, the document's idle step.
    double longestStep = 0;
    std::vector<double> steps;
    platform::qt::CIdleDriver idle([&doc, &longestStep, &steps](long n) {
        if (n < 100)
            return true;
        const auto s = std::chrono::steady_clock::now();
        const bool more = doc.OnIdleStep();
        const double d = std::chrono::duration<double>(std::chrono::steady_clock::now() - s).count();
        longestStep = std::max(longestStep, d);
        steps.push_back(d);
        return more;
    });
    double fillSeconds = 0, thumbSeconds = 0;
    QTimer::singleShot(0, [&] {
        ticker.start(10);
        QTimer::singleShot(20, [&] {
            const auto t0 = std::chrono::steady_clock::now();
            fillStart = clock.nsecsElapsed();
            item->setExpanded(true);
            // The list is drawn before the first thumbnail.
            view.viewport()->repaint();
            fillEnd = clock.nsecsElapsed();
            fillSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            const auto t1 = std::chrono::steady_clock::now();
            idle.Wake();
            auto* watch = new QTimer(&app);
            QObject::connect(watch, &QTimer::timeout, [&, t1, watch] {
                if (PendingThumbnails(item) == 0) {
                    thumbSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t1).count();
                    watch->stop();
                    app.quit();
                } else if (!idle.Active()) {
                    idle.Wake();
                }
            });
            watch->start(1);
        });
    });
    app.exec();
    ticker.stop();

    // libjpeg-turbo: the same files at one eighth, one after the other.
    const auto t2 = std::chrono::steady_clock::now();
    std::vector<uint8_t> out;
    for (const std::string& f : files)
        bench::LibDecode(f, 8, out);
    const double libSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t2).count();

    double load[3] = {0, 0, 0};
    getloadavg(load, 3);
    std::printf("load average                %.1f %.1f %.1f\n", load[0], load[1], load[2]);
    std::printf("photos                      %d of 6000 x 4000, %s\n", count,
                oneAtATime ? "one at a time" : "read ahead on a worker");
    std::printf("folder listed in            %.1f ms (goal 500 ms)\n", fillSeconds * 1000);
    std::printf("worst 10 ms timer lateness  %.1f ms (goal 100 ms): listing %.1f ms, thumbnails %.1f ms\n",
                worst / 1e6, worstListing / 1e6, worstThumbs / 1e6);
    std::sort(steps.begin(), steps.end());
    const double median = steps.empty() ? 0 : steps[steps.size() / 2];
    std::printf("idle steps                  %zu, median %.1f ms, longest %.1f ms\n", steps.size(), median * 1000,
                longestStep * 1000);
    std::printf("last thumbnail after        %.3f s\n", thumbSeconds);
    std::printf("libjpeg-turbo 1/8 decodes   %.3f s\n", libSeconds);
    std::printf("ratio                       %.2f (goal 1.5)\n", thumbSeconds / libSeconds);
    fs::remove_all(home);
    return 0;
}
