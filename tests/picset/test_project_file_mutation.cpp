// Many damaged variants of real projects (bit flips, odd values, cuts, repeats) must each be
// refused cleanly or load into a picture set that keeps its invariants and saves again stably.
#include "picset/project_file.h"

#include <cmath>
#include <random>

#include "platform/archive.h"
#include "platform/message_box.h"
#include "test_project_file_support.h"

using namespace projtest;

namespace {

class Mutation : public ProjectFileTest {
protected:
    // The photos' paths are stored in the project, so their length decides where the damage
    // lands. Padding them to one length keeps the variants the same in every build folder.
    std::string Photo(const std::string& relative) const
    {
        const size_t used = PathOf("").size();
        const size_t pad = used < 150 ? 150 - used : 1;
        return Touch(std::string(pad, 'p') + "/" + relative);
    }

    // A project of three photos (two of them fitted, with control points) saved by the program.
    std::vector<uint8_t> RichProject()
    {
        CMcCore core;
        core.m_IndividualFocal = 0;
        for (int i = 0; i < 3; ++i) {
            auto p = Picture(Photo("photos/p" + std::to_string(i) + ".jpg"), i < 2 ? 3 : 0);
            p->m_Focal = 900.0 + i;
            p->m_OpticalCentre = CDPoint(319.5, 239.5);
            p->m_Direction = CDPoint(0.3 * i, -0.1 * i);
            p->QuarterTurns = i;
            p->Brightness = i - 1;
            p->m_LayoutCell = CPoint(i, -i);
            for (int k = 0; k < 4 * i; ++k) {
                ControlPoint& cp = p->m_Points[static_cast<size_t>(k)];
                cp.kind = 1 + k % 4;
                cp.state = k % 2 ? 3 : -4;
                cp.position = CDPoint(10.0 * k, 5.0 * k);
                cp.pointId = 1000 + k;
                cp.target = CDPoint(0.01 * k, -0.02 * k);
            }
            core.m_Pictures.push_back(std::move(p));
        }
        CArchive ar("rich.fit");
        EXPECT_EQ(core.Serialize(ar), 1);
        return ar.Writer().Bytes();
    }

    std::vector<uint8_t> OlderProject()
    {
        Le e;
        e.f64(800.0).f64(0.5).f64(0.5).u16(11).u16(0).u16(1).u16(10).f64(-0.02).f64(0.0);
        e.u16(0).u16(0).u16(0).u16(0).str("");
        e.u16(2).u16(0xFFFF).u16(3).u16(5).u8('C').u8('K').u8('p').u8('i').u8('c');
        for (int i = 0; i < 2; ++i) {
            if (i == 1)
                e.u16(0x8001);
            e.u16(3).str(Photo("photos/m" + std::to_string(i) + ".bmp")).u16(0).u16(0).u16(320).u16(240);
            e.f64(400.0).f64(0.0).f64(0.0).f64(0.1).f64(0.2).f64(0.3).u16(1).f64(1.5).u16(0).u16(0);
            e.f64(0.0).u16(0).u16(0).u16(0).u16(0).str("");
            e.u16(1).f64(11.0).f64(12.0).u32(77).u16(3).f64(0.0).f64(0.0).f64(0.0).f64(0.0).u16(0).f64(0.0);
        }
        return e.bytes();
    }

    // Loads the bytes as the named file into a picture set that already holds a project.
    void Check(const std::vector<uint8_t>& bytes, const std::string& name, int& loaded, int& refused)
    {
        RecordingHost host;
        host.defaultAnswer = platform::IDNO; // drop photos that cannot be found
        CMcCore core;
        core.m_Host = &host;
        core.m_CommonFocal = 777.0;
        core.m_Pictures.push_back(Picture("kept.jpg"));

        CArchive ar(name, bytes);
        const int code = core.Serialize(ar);
        ASSERT_TRUE(code == 1 || code == -1) << code;
        if (code == -1) {
            ++refused;
            ASSERT_EQ(core.m_CommonFocal, 777.0);
            ASSERT_EQ(core.m_Pictures.size(), 1u);
            ASSERT_EQ(core.m_Pictures[0]->m_Path, "kept.jpg");
            return;
        }
        ++loaded;
        ASSERT_TRUE(std::isfinite(core.m_CommonFocal));
        ASSERT_GE(core.m_CentreFractions.x, 0.35);
        ASSERT_LE(core.m_CentreFractions.y, 0.65);
        ASSERT_GE(core.m_Distortion, -0.25);
        ASSERT_LE(core.m_Distortion, 0.25);
        for (const auto& p : core.m_Pictures) {
            ASSERT_GT(p->m_PictureRect.Width(), 0);
            ASSERT_GT(p->m_PictureRect.Height(), 0);
            ASSERT_TRUE(std::isfinite(p->m_Focal));
            ASSERT_TRUE(p->QuarterTurns >= 0 && p->QuarterTurns <= 3);
            ASSERT_TRUE(p->Brightness >= -10 && p->Brightness <= 10);
            ASSERT_EQ(p->PendingBrightness, 0);
            const int n = p->CountControlPoints();
            for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
                const ControlPoint& cp = p->m_Points[static_cast<size_t>(i)];
                if (i >= n)
                    continue;
                ASSERT_TRUE(std::isfinite(cp.position.x) && std::isfinite(cp.position.y));
            }
        }
        // What loaded saves, and saves the same again after another load.
        CArchive out("again.fit");
        ASSERT_EQ(core.Serialize(out), 1);
        CMcCore second;
        second.m_Host = &host;
        CArchive back("again.fit", out.Writer().Bytes());
        ASSERT_EQ(second.Serialize(back), 1);
        CArchive out2("again.fit");
        ASSERT_EQ(second.Serialize(out2), 1);
        CMcCore third;
        third.m_Host = &host;
        CArchive back2("again.fit", out2.Writer().Bytes());
        ASSERT_EQ(third.Serialize(back2), 1);
        CArchive out3("again.fit");
        ASSERT_EQ(third.Serialize(out3), 1);
        ASSERT_EQ(out3.Writer().Bytes(), out2.Writer().Bytes());
    }
};

std::vector<uint8_t> Mutate(std::vector<uint8_t> v, std::mt19937& rng)
{
    const auto pick = [&](size_t n) { return n == 0 ? size_t(0) : static_cast<size_t>(rng() % n); };
    const int32_t ints[] = {0, -1, 1, 2, 3, 4, 49, 50, 51, 255, 0xFFFF, 0x8001, 0x7FFFFFFF, INT32_MIN};
    const double doubles[] = {std::nan(""), INFINITY, -INFINITY, 1e308, -0.0, 5e-324, 0.0};
    const int ops = 1 + static_cast<int>(rng() % 3);
    for (int op = 0; op < ops && !v.empty(); ++op) {
        const size_t at = pick(v.size());
        switch (rng() % 8) {
        case 0:
            v[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 1: {
            const uint8_t bytes[] = {0x00, 0xFF, 0x80, 0x7F, 0xFE};
            v[at] = bytes[pick(5)];
            break;
        }
        case 2:
            if (at + 4 <= v.size()) {
                const int32_t x = ints[pick(std::size(ints))];
                std::memcpy(&v[at], &x, 4);
            }
            break;
        case 3:
            if (at + 8 <= v.size()) {
                const double x = doubles[pick(std::size(doubles))];
                std::memcpy(&v[at], &x, 8);
            }
            break;
        case 4:
            v.resize(at);
            break;
        case 5: {
            const size_t n = std::min<size_t>(1 + pick(64), v.size() - at);
            v.erase(v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 6: {
            const size_t n = std::min<size_t>(1 + pick(200), v.size() - at);
            const std::vector<uint8_t> chunk(v.begin() + static_cast<std::ptrdiff_t>(at),
                                             v.begin() + static_cast<std::ptrdiff_t>(at + n));
            v.insert(v.begin() + static_cast<std::ptrdiff_t>(pick(v.size())), chunk.begin(), chunk.end());
            break;
        }
        default: {
            // A count-like word set high.
            if (at + 2 <= v.size()) {
                v[at] = 0xFF;
                v[at + 1] = static_cast<uint8_t>(rng());
            }
            break;
        }
        }
    }
    return v;
}

TEST_F(Mutation, DamagedVariantsOfRealProjectsNeverBreakTheLoader)
{
    struct Base {
        std::vector<uint8_t> bytes;
        const char* name;
    };
    const Base bases[] = {{RichProject(), "plan.fit"}, {OlderProject(), "plan.mcl"}};
    std::mt19937 rng(20261210);
    for (const Base& base : bases) {
        int loaded = 0, refused = 0;
        Check(base.bytes, base.name, loaded, refused);
        ASSERT_EQ(loaded, 1) << base.name << ": the undamaged project must load";
        for (int i = 0; i < 2500; ++i) {
            const std::vector<uint8_t> variant = Mutate(base.bytes, rng);
            Check(variant, base.name, loaded, refused);
            if (HasFatalFailure()) {
                ADD_FAILURE() << base.name << " variant " << i << " of " << variant.size() << " bytes";
                return;
            }
        }
        // Both outcomes occur: the damage is neither always caught nor always harmless.
        EXPECT_GT(loaded, 100) << base.name;
        EXPECT_GT(refused, 100) << base.name;
    }
}

} // namespace
