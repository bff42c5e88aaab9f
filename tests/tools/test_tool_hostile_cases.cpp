// smra_fit and smra_render run as a careless user or an attacker would run them: photos deleted
// after the project was made, photo headers that claim impossible sizes, '@' in photo names,
// odd output targets (links, a pipe, a device, read-only files, a missing folder) and a
// file-size limit. Each case either does what was asked or refuses with its reason, and then
// nothing is lost: no project or image is replaced by less, no staged file stays behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "../imagefile/test_bmp_support.h"
#include "common/helpers.h"
#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "picset/kpic.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tests/support/run_program.h"

#if defined(SMRA_SMRA_FIT_PATH) && defined(SMRA_SMRA_RENDER_PATH)

namespace {

using namespace bmptest;
namespace fs = std::filesystem;

// Runs `program` with `args` (no shell between), its standard output and error collected; with
// a file-size limit (bytes) set in the child before the program starts.
testsupport::ProgramRun RunLimited(const std::string& program, const std::vector<std::string>& args, rlim_t fileSizeLimit)
{
    testsupport::ProgramRun run;
    int fds[2];
    if (::pipe(fds) != 0)
        return run;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        ::close(fds[0]);
        ::close(fds[1]);
        if (fileSizeLimit > 0) {
            const rlimit limit{fileSizeLimit, fileSizeLimit};
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[512];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<size_t>(n));
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

COLORREF Smooth(int x, int y) { return RGB(40 + x * 3 / 2, 30 + y * 2, 200 - x - y / 2); }

bool WriteImage(const std::string& path, int w, int h)
{
    if (SaveImageBegin(path, w, h, 72, "", 10) != 1)
        return false;
    CPixelArray strip;
    strip.SetSize(static_cast<std::ptrdiff_t>(kRenderBandRows) * w);
    for (int band : GetSaveStripOrder(path, h)) {
        for (int row = 0; row < kRenderBandRows; ++row)
            for (int x = 0; x < w; ++x)
                strip[row * w + x] = Smooth(x, band * kRenderBandRows + row);
        if (SaveImagePut(path, strip, band) < 0) {
            SaveImageEnd(path, -1);
            return false;
        }
    }
    return SaveImageEnd(path, 0) == 1;
}

// A header of a picture `w` x `h` pixels of the file's kind, followed by a few bytes of data: a
// small picture written and its size fields changed.
void WriteClaimedSize(const std::string& path, int w, int h)
{
    ASSERT_TRUE(WriteImage(path, 32, 32));
    std::vector<uint8_t> bytes = ReadAll(path);
    if (GetFileKind(path) == FILE_KIND_PNG) {
        bytes[16] = uint8_t(w >> 24), bytes[17] = uint8_t(w >> 16), bytes[18] = uint8_t(w >> 8), bytes[19] = uint8_t(w);
        bytes[20] = uint8_t(h >> 24), bytes[21] = uint8_t(h >> 16), bytes[22] = uint8_t(h >> 8), bytes[23] = uint8_t(h);
        // The header's check sum over its type and fields.
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = 12; i < 29; ++i) {
            crc ^= bytes[i];
            for (int k = 0; k < 8; ++k)
                crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
        crc ^= 0xFFFFFFFFu;
        for (int k = 0; k < 4; ++k)
            bytes[29 + k] = uint8_t(crc >> (24 - 8 * k));
    } else {
        size_t sof = 2;
        while (sof + 9 < bytes.size() && !(bytes[sof] == 0xFF && bytes[sof + 1] == 0xC0))
            ++sof;
        ASSERT_LT(sof + 9, bytes.size());
        bytes[sof + 5] = uint8_t(h >> 8), bytes[sof + 6] = uint8_t(h);
        bytes[sof + 7] = uint8_t(w >> 8), bytes[sof + 8] = uint8_t(w);
    }
    WriteAll(path, bytes);
}

// One case's folder: three photos of 120 x 90 pixels in a row, the project "laid.fit" that
// lays them out unfitted and "fitted.fit" where they are fitted.
struct Scene {
    std::string dir;
    std::vector<std::string> photos;

    std::string At(const std::string& name) const { return dir + "/" + name; }
    std::string Laid() const { return At("laid.fit"); }
    std::string Fitted() const { return At("fitted.fit"); }

    void Make()
    {
        SetEngineModeFlags();
        const double yaws[] = {-0.5, 0.0, 0.5};
        CMcHost host;
        CMcCore laid, fitted;
        laid.m_Host = &host;
        fitted.m_Host = &host;
        fitted.m_Projection = 21;
        fitted.m_CommonFocal = 150.0;
        for (int i = 0; i < 3; ++i) {
            const std::string path = At("photo" + std::to_string(i) + ".bmp");
            ASSERT_TRUE(WriteImage(path, 120, 90));
            photos.push_back(path);
            CKpic* unfitted = laid.OpenPicture(path);
            ASSERT_TRUE(unfitted);
            unfitted->m_LayoutCell = CPoint(i - 1, 0);
            CKpic* picture = fitted.OpenPicture(path);
            ASSERT_TRUE(picture);
            picture->m_Status = 3;
            picture->m_Focal = 150.0;
            picture->m_DefaultFocal = 150.0;
            picture->m_Direction = CDPoint(yaws[i], 0.05 * i);
        }
        fitted.SortPlacedFirst();
        ASSERT_EQ(SaveProjectFile(laid, Laid()).code, 1);
        ASSERT_EQ(SaveProjectFile(fitted, Fitted()).code, 1);
    }

    // The pictures of a project file, by file name; empty when it cannot be opened.
    std::vector<std::string> PictureNames(const std::string& project) const
    {
        CMcHost host;
        ProjectFileResult r;
        std::unique_ptr<CMcCore> core = OpenProjectFile(project, &host, &r);
        std::vector<std::string> names;
        if (core)
            for (const auto& p : core->m_Pictures)
                names.push_back(fs::path(p->m_Path).filename().string());
        return names;
    }

    // Staged files left in the folder or below it.
    int Staged() const
    {
        int n = 0;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            n += e.path().filename().string().rfind(".smra-", 0) == 0;
        return n;
    }
};

const std::string kFit = SMRA_SMRA_FIT_PATH;
const std::string kRender = SMRA_SMRA_RENDER_PATH;
const std::vector<std::string> kArea = {"--area", "-200,-100,200,100", "--width", "200"};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    const char* what;
    const std::string& program;
    // Does the hostile deed in the scene and gives the program's arguments.
    std::function<std::vector<std::string>(Scene&)> setUp;
    int exitCode;                   // -1: any failure
    std::vector<std::string> says;  // texts the output holds
    std::function<void(Scene&)> holds;
    rlim_t fileSizeLimit = 0;
};

TEST(ToolHostileCases, EachIsDoneOrRefusedWithItsReasonAndNothingIsLost)
{
    const Case cases[] = {
        // Deleted photos.
        {"fit, a photo deleted, written onto its input", kFit,
         [](Scene& s) {
             fs::remove(s.photos[1]);
             WriteAll(s.At("keep.fit"), ReadAll(s.Laid()));
             return std::vector<std::string>{"fit", s.Laid(), s.Laid()};
         },
         1, {"missing photo: ", "photo1.bmp", "--skip-missing", "nothing was written"},
         [](Scene& s) { EXPECT_EQ(ReadAll(s.Laid()), ReadAll(s.At("keep.fit"))); }},
        {"fit, every photo deleted, told to go on", kFit,
         [](Scene& s) {
             for (const std::string& p : s.photos)
                 fs::remove(p);
             WriteAll(s.At("keep.fit"), ReadAll(s.Laid()));
             return std::vector<std::string>{"fit", s.Laid(), s.Laid(), "--skip-missing"};
         },
         1, {"missing photo: ", "photo0.bmp", "photo2.bmp", "no photo of"},
         [](Scene& s) { EXPECT_EQ(ReadAll(s.Laid()), ReadAll(s.At("keep.fit"))); }},
        {"fit, a photo deleted, told to go on", kFit,
         [](Scene& s) {
             fs::remove(s.photos[1]);
             return std::vector<std::string>{"fit", s.Laid(), s.At("out.fit"), "--skip-missing"};
         },
         -1, {"missing photo: ", "photo1.bmp", "going on without"},
         [](Scene& s) {
             std::vector<std::string> names = s.PictureNames(s.At("out.fit"));
             std::sort(names.begin(), names.end());
             EXPECT_EQ(names, (std::vector<std::string>{"photo0.bmp", "photo2.bmp"}));
         }},
        {"render, a photo deleted", kRender,
         [](Scene& s) {
             fs::remove(s.photos[2]);
             return Join({s.Fitted(), s.At("pano.png")}, kArea);
         },
         1, {"missing photo: ", "photo2.bmp", "--skip-missing", "nothing was written"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("pano.png"))); }},
        {"render, a photo deleted, told to go on", kRender,
         [](Scene& s) {
             fs::remove(s.photos[2]);
             return Join({s.Fitted(), s.At("pano.png"), "--skip-missing"}, kArea);
         },
         0, {"missing photo: ", "photo2.bmp", "wrote"},
         [](Scene& s) { EXPECT_EQ(GetImageFileRect(s.At("pano.png")).Width(), 200); }},

        // Photos the program's import refuses, and names with '@'.
        {"new, a PNG claiming 65535 x 65535 pixels", kFit,
         [](Scene& s) {
             WriteClaimedSize(s.At("huge.png"), 65535, 65535);
             return std::vector<std::string>{"new", s.At("new.fit"), s.photos[0], s.At("huge.png")};
         },
         1, {"huge.png", "too large: 65535 x 65535 pixels"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("new.fit"))); }},
        {"new, a JPEG claiming 65535 x 65535 pixels", kFit,
         [](Scene& s) {
             WriteClaimedSize(s.At("huge.jpg"), 65535, 65535);
             return std::vector<std::string>{"new", s.At("new.fit"), s.At("huge.jpg")};
         },
         1, {"huge.jpg", "too large: 65535 x 65535 pixels, over the limit of 2147483647 pixels"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("new.fit"))); }},
        {"new, a PNG too large to read as import reads it", kFit,
         [](Scene& s) {
             WriteClaimedSize(s.At("wide.png"), 30000, 30000);
             return std::vector<std::string>{"new", s.At("new.fit"), s.At("wide.png")};
         },
         1, {"wide.png", "too large: 30000 x 30000 pixels"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("new.fit"))); }},
        {"new, '@' in photo names", kFit,
         [](Scene& s) {
             fs::rename(s.photos[0], s.At("me@home.bmp"));
             fs::rename(s.photos[1], s.At("shot@1,2x.bmp"));
             return std::vector<std::string>{"new", s.At("new.fit"), s.At("me@home.bmp"), s.At("shot@1,2x.bmp"),
                                             s.photos[2] + "@3,-1"};
         },
         0, {"3 pictures"},
         [](Scene& s) {
             CMcHost host;
             ProjectFileResult r;
             std::unique_ptr<CMcCore> core = OpenProjectFile(s.At("new.fit"), &host, &r);
             ASSERT_TRUE(core);
             ASSERT_NE(core->FindPictureByPath(s.At("me@home.bmp")), nullptr);
             ASSERT_NE(core->FindPictureByPath(s.At("shot@1,2x.bmp")), nullptr);
             ASSERT_NE(core->FindPictureByPath(s.photos[2]), nullptr);
             EXPECT_EQ(core->FindPictureByPath(s.photos[2])->m_LayoutCell, CPoint(3, -1));
         }},
        {"new, a file of no known format: its message names it", kFit,
         [](Scene& s) {
             WriteAll(s.At("text.bmp"), {'n', 'o', 't', ' ', 'a', ' ', 'b', 'm', 'p'});
             return std::vector<std::string>{"new", s.At("new.fit"), s.At("text.bmp")};
         },
         1, {"We don't support the file format of", "text.bmp"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("new.fit"))); }},

        {"new, an empty photo: the last line says why", kFit,
         [](Scene& s) {
             WriteAll(s.At("empty.bmp"), {});
             return std::vector<std::string>{"new", s.At("new.fit"), s.photos[0], s.At("empty.bmp")};
         },
         1, {"cannot open the photo", "empty.bmp: empty file; nothing was written"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("new.fit"))); }},

        // Output targets.
        {"fit, output a link to a project in another folder", kFit,
         [](Scene& s) {
             fs::create_directories(s.At("keep"));
             WriteAll(s.At("keep/old.fit"), {1, 2, 3});
             fs::create_symlink("keep/old.fit", s.At("link.fit"));
             return std::vector<std::string>{"fit", s.Laid(), s.At("link.fit")};
         },
         -1, {},
         [](Scene& s) {
             EXPECT_TRUE(fs::is_symlink(s.At("link.fit")));
             EXPECT_EQ(s.PictureNames(s.At("keep/old.fit")).size(), 3u);
         }},
        {"render, output a chain of links to an image", kRender,
         [](Scene& s) {
             fs::create_directories(s.At("keep"));
             WriteAll(s.At("keep/old.png"), {1, 2, 3});
             fs::create_symlink("old.png", s.At("keep/second.png"));
             fs::create_symlink(s.At("keep/second.png"), s.At("pano.png"));
             return Join({s.Fitted(), s.At("pano.png")}, kArea);
         },
         0, {"wrote"},
         [](Scene& s) {
             EXPECT_TRUE(fs::is_symlink(s.At("pano.png")));
             EXPECT_TRUE(fs::is_symlink(s.At("keep/second.png")));
             EXPECT_EQ(GetImageFileRect(s.At("keep/old.png")).Width(), 200);
         }},
        {"fit, output a pipe", kFit,
         [](Scene& s) {
             ::mkfifo(s.At("pipe.fit").c_str(), 0644);
             return std::vector<std::string>{"fit", s.Laid(), s.At("pipe.fit")};
         },
         1, {"pipe.fit", "it is not a regular file"},
         [](Scene& s) { EXPECT_TRUE(fs::is_fifo(s.At("pipe.fit"))); }},
        {"fit, output a device node", kFit,
         [](Scene& s) {
             // The null device's numbers; where no device may be made, a link to it stands in.
             if (::mknod(s.At("dev.fit").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
                 fs::create_symlink("/dev/null", s.At("dev.fit"));
             return std::vector<std::string>{"fit", s.Laid(), s.At("dev.fit")};
         },
         1, {"dev.fit", "it is not a regular file"},
         [](Scene& s) { EXPECT_FALSE(fs::is_regular_file(s.At("dev.fit"))); }},
        {"fit, output a link to a device", kFit,
         [](Scene& s) {
             fs::create_symlink("/dev/null", s.At("null.fit"));
             return std::vector<std::string>{"fit", s.Laid(), s.At("null.fit")};
         },
         1, {"null.fit", "it is not a regular file"},
         [](Scene& s) { EXPECT_TRUE(fs::is_symlink(s.At("null.fit"))); }},
        {"render, output a read-only file", kRender,
         [](Scene& s) {
             WriteAll(s.At("pano.png"), {1, 2, 3});
             ::chmod(s.At("pano.png").c_str(), 0444);
             return Join({s.Fitted(), s.At("pano.png")}, kArea);
         },
         1, {"pano.png", "the file is read-only"},
         [](Scene& s) { EXPECT_EQ(ReadAll(s.At("pano.png")), (std::vector<uint8_t>{1, 2, 3})); }},
        {"fit, output a read-only file", kFit,
         [](Scene& s) {
             WriteAll(s.At("old.fit"), {1, 2, 3});
             ::chmod(s.At("old.fit").c_str(), 0444);
             return std::vector<std::string>{"fit", s.Laid(), s.At("old.fit")};
         },
         1, {"old.fit", "the file is read-only"},
         [](Scene& s) { EXPECT_EQ(ReadAll(s.At("old.fit")), (std::vector<uint8_t>{1, 2, 3})); }},
        {"fit, output in a folder that does not exist", kFit,
         [](Scene& s) { return std::vector<std::string>{"fit", s.Laid(), s.At("nowhere/out.fit")}; },
         1, {"out.fit failed: No such file or directory", "nothing was written"},
         [](Scene& s) { EXPECT_FALSE(fs::exists(s.At("nowhere"))); }},
        {"fit, under a file-size limit", kFit,
         [](Scene& s) {
             WriteAll(s.At("old.fit"), {1, 2, 3});
             return std::vector<std::string>{"fit", s.Laid(), s.At("old.fit")};
         },
         1, {"old.fit failed: the file would exceed the file-size limit", "nothing was written"},
         [](Scene& s) { EXPECT_EQ(ReadAll(s.At("old.fit")), (std::vector<uint8_t>{1, 2, 3})); },
         100},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Scene scene;
        scene.dir = ScratchDir("tool_hostile_" + std::to_string(index++));
        scene.Make();
        const std::vector<std::string> args = c.setUp(scene);
        const testsupport::ProgramRun run = RunLimited(c.program, args, c.fileSizeLimit);
        if (c.exitCode >= 0)
            EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        else
            EXPECT_GE(run.exitCode, 0) << run.output;
        EXPECT_LT(run.exitCode, 128) << "ended by a signal\n" << run.output;
        for (const std::string& text : c.says)
            EXPECT_NE(run.output.find(text), std::string::npos) << "says \"" << text << "\"\n" << run.output;
        EXPECT_EQ(run.output.find("%s"), std::string::npos) << run.output;
        c.holds(scene);
        EXPECT_EQ(scene.Staged(), 0);
    }
}

} // namespace

#endif
