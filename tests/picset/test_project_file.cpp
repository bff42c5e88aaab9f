// Project files: the ".fit" bytes written out by hand from the layout, loading and its
// checks, refusing to save under another extension or to lose the previous file, and the
// older ".mcl" layout.
#include "picset/project_file.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <csignal>
#include <limits>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/archive.h"
#include "platform/message_box.h"
#include "test_project_file_support.h"

using namespace projtest;

namespace {

// A project with one picture whose every stored field has a value of its own; its control
// points sit in slots 0 and 2 so that saving has to close the gap.
std::unique_ptr<CMcCore> OnePictureProject(const std::string& photoPath)
{
    auto core = std::make_unique<CMcCore>();
    core->m_CommonFocal = 1500.0;
    core->m_CentreFractions = CDPoint(0.5, 0.375);
    core->m_Projection = 21;
    core->m_FitState = 2;
    core->m_OverlapMode = 0;
    core->m_BlendStrength = 35;
    core->m_Distortion = -0.0625;
    core->m_LensModelValues[2] = 0.75;
    core->m_IndividualFocal = 0;
    core->m_LensModelFactor = 0.875;

    auto p = std::unique_ptr<CKpic>(CKpic::CreateObject());
    p->m_Status = 3;
    p->m_Path = photoPath;
    p->m_PictureRect = CRect(0, 0, 640, 480);
    p->m_Focal = 1234.5;
    p->m_OpticalCentre = CDPoint(319.75, 239.5);
    p->m_Direction = CDPoint(0.25, -0.125);
    p->m_Roll = 0.0625;
    p->m_FitScore = 2.5;
    p->m_ColourWord = 0x01020304;
    p->QuarterTurns = 3;
    p->Brightness = 4;
    p->PendingBrightness = 2;
    p->m_SearchMark = -2;
    p->m_LayoutCell = CPoint(-1, 2);
    p->m_ReferenceColour = RGB(10, 20, 30);
    ControlPoint& a = p->m_Points[0];
    a.kind = 1;
    a.state = 3;
    a.position = CDPoint(100.5, 200.25);
    a.pointId = 0x12345678;
    a.target = CDPoint(0.5, -0.25);
    a.offAxisAngle = 0.125;
    a.directionAngle = 1.5;
    ControlPoint& b = p->m_Points[2];
    b.kind = 4;
    b.state = -4;
    b.position = CDPoint(10.0, 20.0);
    b.pointId = 100000001;
    b.directionAngle = 3.0;
    core->m_Pictures.push_back(std::move(p));
    return core;
}

// The expected file of OnePictureProject, field by field as the layout tables give them.
Le OnePictureBytes(const std::string& photoPath)
{
    Le e;
    // Project header.
    e.f64(1500.0).f64(0.5).f64(0.375);   // common focal, centre fractions
    e.i32(21).i32(2).i32(0).i32(35);      // projection, fit state, overlap mode, blend strength
    e.f64(-0.0625).f64(0.75);             // distortion, third lens model value
    e.i32(1).i32(0);                      // flags (individual focal off), reserved
    e.f64(0.875).f64(0.0);                // lens model factor, reserved
    e.zeros(16).str("");                  // reserved rectangle and text
    // Picture list: count, then the first object with its class.
    e.u16(1).u16(0xFFFF).u16(3).u16(5).u8('C').u8('K').u8('p').u8('i').u8('c');
    e.i32(3).str(photoPath);              // status, path
    e.i32(0).i32(0).i32(640).i32(480);    // picture rectangle
    e.f64(1234.5).i32(319).i32(239);      // focal, optical centre truncated
    e.f64(0.25).f64(-0.125).f64(0.0625);  // yaw, pitch, roll
    e.i32(2).f64(2.5);                    // control points stored, fit score
    e.i32(0x01020304);                    // colour word
    e.u8(3).u8(6).u8(0xFE).u8(0);         // quarter turns, brightness 4 + 2, search mark -2
    e.u8(0xFF).u8(0x02).u8(0).u8(0);      // layout cell (-1, 2)
    e.u8(10).u8(20).u8(30).u8(0);         // reference colour
    e.f64(0.0).f64(0.0).zeros(16).str(""); // reserved
    // Control points, 88 bytes each.
    e.i32(1).f64(100.5).f64(200.25).u32(0x12345678).i32(3);
    e.f64(0.5).f64(-0.25).f64(0.125).f64(1.5).i32(0).f64(0.0).zeros(16);
    e.i32(4).f64(10.0).f64(20.0).u32(100000001).i32(-4);
    e.f64(0.0).f64(0.0).f64(0.0).f64(3.0).i32(0).f64(0.0).zeros(16);
    return e;
}

class FitFile : public ProjectFileTest {};

TEST_F(FitFile, EmptyProjectIsWrittenByteForByte)
{
    CMcCore core;
    const std::string path = PathOf("empty.fit");
    const ProjectFileResult r = SaveProjectFile(core, path);
    ASSERT_EQ(r.code, 1) << r.message;
    const std::vector<uint8_t> expected = {
        0x00, 0x00, 0x00, 0x00, 0x00, 0x40, 0x8F, 0x40, // common focal 1000.0
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F, // centre fraction x 0.5
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xE0, 0x3F, // centre fraction y 0.5
        0x0B, 0x00, 0x00, 0x00,                         // projection 11
        0x01, 0x00, 0x00, 0x00,                         // fit state 1
        0x01, 0x00, 0x00, 0x00,                         // overlap mode 1
        0x0A, 0x00, 0x00, 0x00,                         // blend strength 10
        0x7B, 0x14, 0xAE, 0x47, 0xE1, 0x7A, 0x94, 0xBF, // distortion -0.02
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // third lens model value 0.0
        0x00, 0x00, 0x00, 0x00,                         // flags: individual focal on
        0x00, 0x00, 0x00, 0x00,                         // reserved
        0x66, 0x66, 0x66, 0x66, 0x66, 0x66, 0xEE, 0x3F, // lens model factor 0.95
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved 0.0
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // reserved rectangle
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00,                                           // reserved empty text
        0x00, 0x00,                                     // no pictures
    };
    EXPECT_EQ(ReadBytes(path), expected);
}

TEST_F(FitFile, OnePictureProjectIsWrittenByteForByte)
{
    const std::string photo = Touch("photos/a.jpg");
    auto core = OnePictureProject(photo);
    const std::string path = PathOf("one.fit");
    ASSERT_EQ(SaveProjectFile(*core, path).code, 1);
    EXPECT_EQ(ReadBytes(path), OnePictureBytes(photo).bytes());
}

TEST_F(FitFile, LaterPicturesCarryTheClassIndexTag)
{
    CMcCore core;
    core.m_Pictures.push_back(Picture("a.jpg"));
    core.m_Pictures.push_back(Picture("b.jpg"));
    const std::string path = PathOf("two.fit");
    ASSERT_EQ(SaveProjectFile(core, path).code, 1);
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const size_t firstBody = 97 + 2 + 11;
    const size_t bodySize = 4 + 6 + 116 + 1; // no control points
    ASSERT_EQ(bytes.size(), firstBody + bodySize + 2 + bodySize);
    EXPECT_EQ(bytes[firstBody + bodySize], 0x01);
    EXPECT_EQ(bytes[firstBody + bodySize + 1], 0x80);
    EXPECT_EQ(bytes[firstBody + bodySize + 2 + 4 + 1], 'b');
}

TEST_F(FitFile, LoadGivesBackEveryStoredFieldAndResavesIdentically)
{
    const std::string photo = Touch("photos/a.jpg");
    const std::string first = PathOf("one.fit");
    WriteBytes(first, OnePictureBytes(photo).bytes());

    RecordingHost host;
    CMcCore core;
    core.m_Host = &host;
    const ProjectFileResult r = LoadProjectFile(core, first);
    ASSERT_EQ(r.code, 1) << r.message;
    EXPECT_TRUE(host.questions.empty());

    EXPECT_EQ(core.m_CommonFocal, 1500.0);
    EXPECT_EQ(core.m_CentreFractions, CDPoint(0.5, 0.375));
    EXPECT_EQ(core.m_Projection, 21);
    EXPECT_EQ(core.m_FitState, 2);
    EXPECT_EQ(core.m_OverlapMode, 0);
    EXPECT_EQ(core.m_BlendStrength, 35);
    EXPECT_EQ(core.m_Distortion, -0.0625);
    EXPECT_EQ(core.m_LensModelFactor, 0.875);
    EXPECT_EQ(core.m_IndividualFocal, 0);
    EXPECT_EQ(core.m_FocalModeSetting, 1) << "the user's focal mode is not changed by a load";

    ASSERT_EQ(core.m_Pictures.size(), 1u);
    const CKpic& p = *core.m_Pictures[0];
    EXPECT_EQ(p.m_Status, 3);
    EXPECT_EQ(p.m_Path, photo);
    EXPECT_EQ(p.m_PictureRect, CRect(0, 0, 640, 480));
    EXPECT_EQ(p.m_Focal, 1234.5);
    EXPECT_EQ(p.m_OpticalCentre, CDPoint(319.5, 239.5));
    EXPECT_EQ(p.m_Direction, CDPoint(0.25, -0.125));
    EXPECT_EQ(p.m_Roll, 0.0625);
    EXPECT_EQ(p.m_FitScore, 2.5);
    EXPECT_EQ(p.m_ColourWord, 0x01020304);
    EXPECT_EQ(p.m_ReferenceColour, RGB(10, 20, 30));
    EXPECT_EQ(p.QuarterTurns, 3);
    EXPECT_EQ(p.Brightness, 6);
    EXPECT_EQ(p.PendingBrightness, 0);
    EXPECT_EQ(p.m_SearchMark, -2);
    EXPECT_EQ(p.m_LayoutCell, CPoint(-1, 2));
    EXPECT_EQ(p.m_PrepStep, 0);
    EXPECT_EQ(p.FeaturesReady, 0);
    const ControlPoint& a = p.m_Points[0];
    EXPECT_EQ(a.kind, 1);
    EXPECT_EQ(a.state, 3);
    EXPECT_EQ(a.position, CDPoint(100.5, 200.25));
    EXPECT_EQ(a.pointId, 0x12345678);
    EXPECT_EQ(a.target, CDPoint(0.5, -0.25));
    const ControlPoint& b = p.m_Points[1];
    EXPECT_EQ(b.kind, 4);
    EXPECT_EQ(b.state, -4);
    EXPECT_EQ(b.pointId, 100000001);
    for (int i = 2; i < CONTROL_POINT_SLOTS; ++i) {
        EXPECT_EQ(p.m_Points[i].kind, 0) << i;
        EXPECT_EQ(p.m_Points[i].state, 0) << i;
        EXPECT_EQ(p.m_Points[i].pointId, 0) << i;
    }
    EXPECT_EQ(host.StatusNumbers(), std::vector<std::string>{"66"});

    // What a load derives again is derived the same way every time: a loaded project that
    // nothing changed re-saves to the same bytes.
    const std::string second = PathOf("second.fit");
    ASSERT_EQ(SaveProjectFile(core, second).code, 1);
    CMcCore again;
    again.m_Host = &host;
    ASSERT_EQ(LoadProjectFile(again, second).code, 1);
    const std::string third = PathOf("third.fit");
    ASSERT_EQ(SaveProjectFile(again, third).code, 1);
    EXPECT_EQ(ReadBytes(third), ReadBytes(second));
}

TEST_F(FitFile, LoadClampsWhatTheProjectKeepsInRange)
{
    const std::string photo = Touch("photos/a.jpg");
    Le e;
    e.f64(900.0).f64(0.2).f64(0.9).i32(11).i32(0).i32(1).i32(10).f64(-1.0).f64(0.0);
    e.i32(0).i32(0).f64(0.95).f64(0.0).zeros(16).str("");
    e.u16(2).u16(0xFFFF).u16(3).u16(5).u8('C').u8('K').u8('p').u8('i').u8('c');
    const auto body = [&](const std::string& path, int brightnessByte) {
        e.i32(0).str(path).i32(0).i32(0).i32(640).i32(480).f64(1000.0).i32(319).i32(239);
        e.f64(0.0).f64(0.0).f64(0.0).i32(0).f64(0.0).i32(0);
        e.u8(0).u8(brightnessByte).u8(0).u8(0).i32(0).i32(0).f64(0.0).f64(0.0).zeros(16).str("");
    };
    const std::string other = Touch("photos/b.jpg");
    body(photo, 100);
    e.u16(0x8001);
    body(other, 0x9C); // -100
    const std::string path = PathOf("clamp.fit");
    WriteBytes(path, e.bytes());

    RecordingHost host;
    CMcCore core;
    core.m_Host = &host;
    ASSERT_EQ(LoadProjectFile(core, path).code, 1);
    EXPECT_EQ(core.m_FitState, 5);
    EXPECT_EQ(core.m_CentreFractions, CDPoint(0.35, 0.65));
    EXPECT_EQ(core.m_Distortion, -0.25);
    EXPECT_EQ(core.m_IndividualFocal, 1);
    ASSERT_EQ(core.m_Pictures.size(), 2u);
    int brightness[2] = {core.m_Pictures[0]->Brightness, core.m_Pictures[1]->Brightness};
    std::sort(std::begin(brightness), std::end(brightness));
    EXPECT_EQ(brightness[0], -10);
    EXPECT_EQ(brightness[1], 10);
}

// Offsets into the file of OnePictureBytes.
struct Layout {
    size_t afterPath; // the fixed-offset fields of the body count from here
    size_t points;    // the first control point
};

Layout LayoutOf(const std::string& photoPath)
{
    const size_t body = 97 + 2 + 11;
    const size_t afterPath = body + 4 + 1 + photoPath.size();
    return {afterPath, afterPath + 117};
}

TEST_F(FitFile, DamagedFilesAreRefusedAndLeaveTheProjectAsItWas)
{
    const std::string photo = Touch("photos/a.jpg");
    const std::vector<uint8_t> good = OnePictureBytes(photo).bytes();
    const Layout at = LayoutOf(photo);
    const auto putI32 = [](std::vector<uint8_t>& v, size_t off, int32_t x) {
        for (int i = 0; i < 4; ++i)
            v[off + i] = static_cast<uint8_t>(static_cast<uint32_t>(x) >> (8 * i));
    };
    const auto putF64 = [](std::vector<uint8_t>& v, size_t off, double x) {
        uint64_t bits;
        std::memcpy(&bits, &x, 8);
        for (int i = 0; i < 8; ++i)
            v[off + i] = static_cast<uint8_t>(bits >> (8 * i));
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
    };
    const Case cases[] = {
        {"51 control points, all present", [&](auto& v) {
             putI32(v, at.afterPath + 56, 51);
             v.resize(v.size() + 49 * 88);
         }},
        {"negative control-point count", [&](auto& v) { putI32(v, at.afterPath + 56, -1); }},
        {"infinite common focal", [&](auto& v) { putF64(v, 0, inf); }},
        {"centre fraction not a number", [&](auto& v) { putF64(v, 8, nan); }},
        {"picture focal not a number", [&](auto& v) { putF64(v, at.afterPath + 16, nan); }},
        {"point position not a number", [&](auto& v) { putF64(v, at.points + 4, nan); }},
        {"point angle infinite", [&](auto& v) { putF64(v, at.points + 88 + 52, -inf); }},
        {"point position too large to rescale", [&](auto& v) { putF64(v, at.points + 4, 1e308); }},
        {"picture focal too large to rescale", [&](auto& v) { putF64(v, at.afterPath + 16, -1e300); }},
        {"empty picture rectangle", [&](auto& v) { putI32(v, at.afterPath + 8, 0); }},
        {"inverted picture rectangle", [&](auto& v) { putI32(v, at.afterPath + 12, -480); }},
        {"absurdly wide picture", [&](auto& v) { putI32(v, at.afterPath + 8, 2000000000); }},
        {"absurd picture area", [&](auto& v) {
             putI32(v, at.afterPath + 8, 900000);
             putI32(v, at.afterPath + 12, 900000);
         }},
        {"quarter turns 5", [&](auto& v) { v[at.afterPath + 72] = 5; }},
        {"path longer than the file", [&](auto& v) { v[114] = 0xFF; v[115] = 0x00; v[116] = 0x40; }},
        {"class index before the class", [&](auto& v) { putI32(v, 99, 0x00038001); }},
        {"null object", [&](auto& v) { v[99] = 0; v[100] = 0; }},
        {"schema 2", [&](auto& v) { v[101] = 2; }},
        {"schema 4", [&](auto& v) { v[101] = 4; }},
        {"other class name", [&](auto& v) { v[109] = 'x'; }},
        {"more pictures than the file holds", [&](auto& v) { v[97] = 200; }},
        {"huge picture count", [&](auto& v) {
             v[97] = 0xFF;
             v[98] = 0xFF;
             const uint8_t big[] = {0x00, 0x00, 0x00, 0x10};
             v.insert(v.begin() + 99, std::begin(big), std::end(big));
         }},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        const std::string path = PathOf("damaged.fit");
        WriteBytes(path, bytes);

        RecordingHost host;
        CMcCore core;
        core.m_Host = &host;
        core.m_CommonFocal = 777.0;
        core.m_Pictures.push_back(Picture("kept.jpg"));
        const ProjectFileResult r = LoadProjectFile(core, path);
        EXPECT_EQ(r.code, -1) << c.what;
        EXPECT_NE(r.message.find("damaged"), std::string::npos) << c.what;
        EXPECT_EQ(core.m_CommonFocal, 777.0) << c.what;
        ASSERT_EQ(core.m_Pictures.size(), 1u) << c.what;
        EXPECT_EQ(core.m_Pictures[0]->m_Path, "kept.jpg") << c.what;
        EXPECT_TRUE(host.questions.empty()) << c.what;
    }
}

TEST_F(FitFile, AProjectOfManyPicturesIsSavedAndOpened)
{
    // Thousands of photos are a large project, not a damaged one: no limit on the count beyond
    // what the file's bytes can hold.
    constexpr int kCount = 2100;
    CMcCore core;
    for (int i = 0; i < kCount; ++i)
        core.m_Pictures.push_back(Picture(Touch("photos/p" + std::to_string(i) + ".jpg"), 3));
    const std::string path = PathOf("many.fit");
    ASSERT_EQ(SaveProjectFile(core, path).code, 1);

    RecordingHost host;
    CMcCore opened;
    opened.m_Host = &host;
    ASSERT_EQ(LoadProjectFile(opened, path).code, 1);
    ASSERT_EQ(opened.m_Pictures.size(), static_cast<size_t>(kCount));
    EXPECT_TRUE(host.questions.empty());
}

TEST_F(FitFile, EveryTruncationIsRefused)
{
    const std::string photo = Touch("photos/a.jpg");
    const std::vector<uint8_t> good = OnePictureBytes(photo).bytes();
    RecordingHost host;
    for (size_t n = 0; n < good.size(); ++n) {
        CMcCore core;
        core.m_Host = &host;
        CArchive ar("cut.fit", std::span<const uint8_t>(good.data(), n));
        EXPECT_EQ(core.Serialize(ar), -1) << n;
        EXPECT_TRUE(core.m_Pictures.empty()) << n;
    }
}

TEST_F(FitFile, SavingUnderAnotherExtensionTouchesNoFile)
{
    const char* names[] = {"plan.mcl", "plan.MCL", "plan.txt", "plan", "plan.fit.bak"};
    for (const char* name : names) {
        const std::string path = PathOf(name);
        RecordingHost host;
        CMcCore core;
        core.m_Host = &host;
        core.m_Pictures.push_back(Picture("a.jpg"));
        ProjectFileResult r = SaveProjectFile(core, path);
        EXPECT_EQ(r.code, -1) << name;
        EXPECT_EQ(r.message, "You must use '.FIT' for the file name extension of fitting plan file.") << name;
        ASSERT_EQ(host.questions.size(), 1u) << name;
        EXPECT_EQ(host.questions[0].number, "25");
        EXPECT_EQ(host.questions[0].a, "FIT");
        EXPECT_FALSE(std::filesystem::exists(path)) << name;

        // An existing file of that name is not emptied either.
        WriteBytes(path, {1, 2, 3});
        r = SaveProjectFile(core, path);
        EXPECT_EQ(r.code, -1);
        EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{1, 2, 3})) << name;
    }
    CMcCore core;
    EXPECT_EQ(SaveProjectFile(core, PathOf("Plan.Fit")).code, 1);
}

TEST_F(FitFile, AFailedSaveLeavesThePreviousProjectAndSaysSo)
{
    struct Case {
        const char* what;
        std::function<void()> before, after;
    };
    struct sigaction oldAction {};
    rlimit savedLimit {};
    const Case cases[] = {
        {"full disk",
         [&] {
             // The file-size limit makes writes fail part-way, as a full disk does.
             struct sigaction ignore {};
             ignore.sa_handler = SIG_IGN;
             ::sigaction(SIGXFSZ, &ignore, &oldAction);
             ::getrlimit(RLIMIT_FSIZE, &savedLimit);
             rlimit small = savedLimit;
             small.rlim_cur = 8192;
             ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
         },
         [&] {
             ::setrlimit(RLIMIT_FSIZE, &savedLimit);
             ::sigaction(SIGXFSZ, &oldAction, nullptr);
         }},
        {"read-only folder",
         [&] {
             ::chmod(m_dir.c_str(), 0555);
             // The superuser writes into read-only folders; save as an ordinary user.
             if (::geteuid() == 0) {
                 ::chmod(m_dir.parent_path().c_str(), 0755);
                 ASSERT_EQ(::seteuid(65534), 0);
             }
         },
         [&] {
             if (::getuid() == 0) {
                 ASSERT_EQ(::seteuid(0), 0);
             }
             ::chmod(m_dir.c_str(), 0755);
         }},
    };
    CMcCore core;
    for (int i = 0; i < 200; ++i)
        core.m_Pictures.push_back(Picture("photo" + std::to_string(i) + ".jpg"));
    const std::string path = PathOf("plan.fit");
    for (const Case& c : cases) {
        WriteBytes(path, {9, 9, 9});
        c.before();
        const ProjectFileResult r = SaveProjectFile(core, path);
        c.after();

        EXPECT_EQ(r.code, -1) << c.what;
        EXPECT_NE(r.message.find("unchanged"), std::string::npos) << c.what << ": " << r.message;
        EXPECT_EQ(ReadBytes(path), (std::vector<uint8_t>{9, 9, 9})) << c.what;
        size_t entries = 0;
        for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(m_dir))
            ++entries;
        EXPECT_EQ(entries, 1u) << c.what;
    }
}

TEST_F(FitFile, OpenGivesANewPictureSetOnlyWhenTheFileIsGood)
{
    const std::string photo = Touch("photos/a.jpg");
    const std::string path = PathOf("one.fit");
    WriteBytes(path, OnePictureBytes(photo).bytes());
    RecordingHost host;
    ProjectFileResult r;
    std::unique_ptr<CMcCore> core = OpenProjectFile(path, &host, &r);
    ASSERT_TRUE(core);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(core->m_Host, &host);
    EXPECT_EQ(core->m_Pictures.size(), 1u);

    // Each refusal names the file and says what is wrong with it; a pipe must not block.
    std::vector<std::pair<std::string, std::string>> refused = {
        {PathOf("missing.fit"), "the file does not exist"},
        {PathOf("folder.fit"), "it is a folder"},
        {PathOf("pipe.fit"), "it is not a regular file"},
    };
    std::filesystem::create_directories(refused[1].first);
    ASSERT_EQ(::mkfifo(refused[2].first.c_str(), 0600), 0);
    // Root reads the file all the same.
    if (::geteuid() != 0) {
        refused.emplace_back(PathOf("locked.fit"), "permission denied");
        WriteBytes(refused.back().first, OnePictureBytes(photo).bytes());
        ASSERT_EQ(::chmod(refused.back().first.c_str(), 0), 0);
    }
    for (const auto& [file, reason] : refused) {
        EXPECT_FALSE(OpenProjectFile(file, &host, &r));
        EXPECT_EQ(r.code, -1);
        EXPECT_EQ(r.message, "The project file\n" + file + "\ncannot be opened: " + reason + ".");
    }
}

// ---- the older layout ----

Le MclPictureBody(const std::string& path, int status, int searchMark)
{
    Le e;
    e.u16(status).str(path).u16(0).u16(0).u16(320).u16(240); // status, path, rectangle
    e.f64(400.0).f64(7.0).f64(8.0);                           // focal, two unused values
    e.f64(0.1).f64(0.2).f64(0.3);                             // yaw, pitch, roll
    e.u16(2).f64(1.5).u16(searchMark).u16(0x7777);            // n, fit score, search mark, unused
    e.f64(9.0).u16(1).u16(2).u16(3).u16(4).str("junk");       // unused
    // 66-byte points: kind, x, y, id, state, target, angles, unused.
    e.u16(1).f64(11.0).f64(12.0).u32(4242).u16(0xFFFC);
    e.f64(0.01).f64(0.02).f64(0.03).f64(0.04).u16(5).f64(6.0);
    e.u16(3).f64(21.0).f64(22.0).u32(100004242).u16(3);
    e.f64(0.11).f64(0.12).f64(0.13).f64(0.14).u16(5).f64(6.0);
    return e;
}

TEST_F(FitFile, OlderLayoutReadsItsFieldsWithSignedWords)
{
    const std::string a = Touch("photos/a.bmp");
    const std::string b = Touch("photos/b.bmp");
    Le e;
    e.f64(800.0).f64(0.2).f64(0.6);                     // common focal, centre fractions
    e.u16(23).u16(999).u16(7).u16(500);                 // projection, unused, overlap, blend
    e.f64(-1.0).f64(0.5);                               // distortion, lens model value
    e.u16(1).u16(2).u16(3).u16(4).str("old header");    // unused
    e.u16(2).u16(0xFFFF).u16(3).u16(5).u8('C').u8('K').u8('p').u8('i').u8('c');
    e.raw(MclPictureBody(a, 3, 0xFFFD).bytes());
    e.u16(0x8001);
    e.raw(MclPictureBody(b, 0xFFFE, 0).bytes());

    for (const char* name : {"plan.mcl", "plan.MCL"}) {
        const std::string path = PathOf(name);
        WriteBytes(path, e.bytes());
        RecordingHost host;
        host.imageRect = CRect(0, 0, 320, 240); // the photos still have their stored size
        CMcCore core;
        core.m_Host = &host;
        core.m_FitState = 4;
        core.m_LensModelFactor = 0.9;
        core.m_IndividualFocal = 0;
        const ProjectFileResult r = LoadProjectFile(core, path);
        ASSERT_EQ(r.code, 1) << name << r.message;

        EXPECT_EQ(core.m_CommonFocal, 800.0);
        EXPECT_EQ(core.m_CentreFractions, CDPoint(0.35, 0.6));
        EXPECT_EQ(core.m_Projection, 23);
        EXPECT_EQ(core.m_OverlapMode, 2);
        EXPECT_EQ(core.m_BlendStrength, 100);
        EXPECT_EQ(core.m_Distortion, -0.25);
        EXPECT_EQ(core.m_FitState, 4);
        EXPECT_EQ(core.m_LensModelFactor, 0.9);
        EXPECT_EQ(core.m_IndividualFocal, 0);

        ASSERT_EQ(core.m_Pictures.size(), 2u) << name;
        const CKpic* pa = nullptr;
        const CKpic* pb = nullptr;
        for (const auto& p : core.m_Pictures)
            (p->m_Path == a ? pa : pb) = p.get();
        ASSERT_TRUE(pa && pb);
        EXPECT_EQ(pa->m_Status, 3);
        EXPECT_EQ(pb->m_Status, -2) << "a negative status must not read as fitted";
        EXPECT_EQ(pa->m_PictureRect, CRect(0, 0, 320, 240));
        EXPECT_EQ(pa->m_Focal, 400.0);
        EXPECT_EQ(pa->m_Direction, CDPoint(0.1, 0.2));
        EXPECT_EQ(pa->m_Roll, 0.3);
        EXPECT_EQ(pa->m_FitScore, 1.5);
        EXPECT_EQ(pa->m_SearchMark, -3);
        EXPECT_EQ(pa->QuarterTurns, 0);
        const ControlPoint& p0 = pa->m_Points[0];
        EXPECT_EQ(p0.kind, 1);
        EXPECT_EQ(p0.state, -4);
        EXPECT_EQ(p0.position, CDPoint(11.0, 12.0));
        EXPECT_EQ(p0.pointId, 4242);
        EXPECT_EQ(p0.target, CDPoint(0.01, 0.02));
        const ControlPoint& p1 = pa->m_Points[1];
        EXPECT_EQ(p1.kind, 3);
        EXPECT_EQ(p1.state, 3);
        EXPECT_EQ(p1.pointId, 100004242);
        EXPECT_EQ(pa->m_Points[2].kind, 0);
        EXPECT_TRUE(host.messages.empty());
    }
}

TEST_F(FitFile, OlderLayoutWithoutPicturesSaysSo)
{
    Le e;
    e.f64(800.0).f64(0.5).f64(0.5).u16(11).u16(0).u16(1).u16(10).f64(-0.02).f64(0.0);
    e.u16(0).u16(0).u16(0).u16(0).str("").u16(0);
    const std::string path = PathOf("empty.mcl");
    WriteBytes(path, e.bytes());
    RecordingHost host;
    CMcCore core;
    core.m_Host = &host;
    ASSERT_EQ(LoadProjectFile(core, path).code, 1);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].number, "36");
    EXPECT_EQ(host.messages[0].type, 1);
}

TEST_F(FitFile, OlderLayoutRefusesMoreThanFiftyPoints)
{
    const std::string a = Touch("photos/a.bmp");
    Le e;
    e.f64(800.0).f64(0.5).f64(0.5).u16(11).u16(0).u16(1).u16(10).f64(-0.02).f64(0.0);
    e.u16(0).u16(0).u16(0).u16(0).str("");
    e.u16(1).u16(0xFFFF).u16(3).u16(5).u8('C').u8('K').u8('p').u8('i').u8('c');
    std::vector<uint8_t> body = MclPictureBody(a, 3, 0).bytes();
    const size_t n = 2 + 1 + a.size() + 8 + 24 + 24;
    body[n] = 51;
    e.raw(body);
    const std::string path = PathOf("bad.mcl");
    WriteBytes(path, e.bytes());
    CMcCore core;
    EXPECT_EQ(LoadProjectFile(core, path).code, -1);
}

} // namespace
