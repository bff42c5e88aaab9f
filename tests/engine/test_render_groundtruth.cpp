// Ground truth for the renderer: views cut from a real equirectangular panorama with known
// cameras are rendered back and compared with their source, over the area the views cover.
// Each projection's PSNR floor lies a little below what the renderer reached when the test was
// written (printed by the test).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "geometry/projections.h"
#include "geometry/sphere.h"
#include "engine/render_band.h"
#include "imagefile/image_file.h"
#include "picset/mccore.h"
#include "picset/mchost.h"
#include "picset/project_file.h"
#include "tests/engine/test_render_truth.h"

using namespace render_truth;

namespace {

const std::string kViewsDir = std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3";
const std::string kSourceDir = std::string(SMRA_TESTDATA_DIR) + "/equirect-rhein-rodenkirchen";

bool LoadImage(const std::string& path, CImage* image)
{
    CRect rect = GetImageFileRect(path);
    if (rect.IsRectEmpty())
        return false;
    CPixelArray pixels;
    CSize size(rect.Width(), rect.Height());
    if (LoadImageFile(path, pixels, size, CRect(0, 0, 0, 0)) <= 0)
        return false;
    image->width = size.cx;
    image->height = size.cy;
    image->pixels.assign(pixels.GetData(), pixels.GetData() + pixels.GetSize());
    return static_cast<int64_t>(image->width) * image->height == pixels.GetSize();
}

class RenderGroundTruth : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_ready = false;
        if (!std::filesystem::exists(kViewsDir + "/truth.json"))
            return;
        s_truth = std::make_unique<CTruth>();
        std::string error;
        if (!LoadTruth(kViewsDir + "/truth.json", s_truth.get(), &error)) {
            s_error = error;
            return;
        }
        s_source = std::make_unique<CImage>();
        if (!LoadImage(kSourceDir + "/" + s_truth->sourceFile, s_source.get())) {
            s_error = "cannot read the source panorama";
            return;
        }
        s_views.resize(s_truth->views.size());
        for (size_t i = 0; i < s_truth->views.size(); ++i) {
            if (!LoadImage(kViewsDir + "/" + s_truth->views[i].file, &s_views[i])) {
                s_error = "cannot read " + s_truth->views[i].file;
                return;
            }
        }
        s_host = std::make_unique<CMcHost>();
        s_fitPath = std::string(SMRA_TEST_TMPDIR) + "/rhein3_truth.fit";
        if (!WriteTruthProject(*s_truth, kViewsDir, s_fitPath, 23, &error)) {
            s_error = error;
            return;
        }
        s_ready = true;
    }
    static void TearDownTestSuite()
    {
        s_truth.reset();
        s_source.reset();
        s_views.clear();
        s_host.reset();
    }

    void SetUp() override
    {
        if (!std::filesystem::exists(kViewsDir + "/truth.json"))
            GTEST_SKIP() << "test data not found in " << kViewsDir;
        ASSERT_TRUE(s_ready) << s_error;
    }

    // The project written from the camera file, opened as the program opens it, in the given
    // projection at the given focal; the pictures' pixels are those already read.
    static std::unique_ptr<CMcCore> OpenTruthProject(int projection, double focal)
    {
        ProjectFileResult opened;
        std::unique_ptr<CMcCore> core = OpenProjectFile(s_fitPath, s_host.get(), &opened);
        EXPECT_TRUE(core) << opened.message;
        if (!core)
            return nullptr;
        EXPECT_EQ(core->GetFittedCount(), static_cast<int>(s_truth->views.size()));
        core->m_Projection = projection;
        core->m_CommonFocal = focal;
        for (const auto& picture : core->m_Pictures) {
            // The optical centre at the project's centre fractions, where the picture set puts
            // it when a project is loaded.
            picture->m_OpticalCentre = CDPoint((picture->Width() - 1) * core->m_CentreFractions.x,
                                               (picture->Height() - 1) * core->m_CentreFractions.y);
            for (size_t i = 0; i < s_truth->views.size(); ++i) {
                if (std::filesystem::path(picture->m_Path).filename().string() != s_truth->views[i].file)
                    continue;
                const CImage& image = s_views[i];
                picture->Pixels.SetSize(static_cast<std::ptrdiff_t>(image.pixels.size()));
                std::copy(image.pixels.begin(), image.pixels.end(), picture->Pixels.GetData());
            }
        }
        return core;
    }

    // The picture of the project that shows the given view.
    static const CKpic* PictureOf(const CMcCore& core, size_t view)
    {
        for (const auto& picture : core.m_Pictures)
            if (std::filesystem::path(picture->m_Path).filename().string() == s_truth->views[view].file)
                return picture.get();
        return nullptr;
    }

    // Renders the whole raster on all cores.
    static std::vector<COLORREF> Render(CMcCore& core)
    {
        const int W = core.m_OutputWidth;
        const int H = core.m_OutputHeight;
        std::vector<COLORREF> out(static_cast<size_t>(W) * H, 0);
        std::vector<int> order;
        for (int b = 0; b <= (H - 1) / kRenderBandRows; ++b)
            order.push_back(b);
        const int r = RenderBandsInOrder(core, order, 0, [&](int band, const CPixelArray& px) {
            for (int row = 0; row < kRenderBandRows && band * kRenderBandRows + row < H; ++row)
                std::copy(px.GetData() + static_cast<std::ptrdiff_t>(row) * W,
                          px.GetData() + static_cast<std::ptrdiff_t>(row + 1) * W,
                          out.begin() + static_cast<std::ptrdiff_t>(band * kRenderBandRows + row) * W);
            return 1;
        });
        EXPECT_EQ(r, 1);
        return out;
    }

    // PSNR of the raster against the source panorama over the pixels the views cover.
    static double PsnrAgainstSource(const CMcCore& core, const std::vector<COLORREF>& out, long long* covered)
    {
        CPsnr psnr;
        const int W = core.m_OutputWidth;
        const int H = core.m_OutputHeight;
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const CDPoint d = core.PlaneToSphere(core.OutputToPlane(x, y));
                if (!IsValidDirection(d) || !AnyViewSees(*s_truth, d, 2.0))
                    continue;
                double ref[3];
                if (SampleEquirect(*s_source, d, ref))
                    psnr.Add(out[static_cast<size_t>(y) * W + x], ref);
            }
        }
        *covered = psnr.Count() / 3;
        return psnr.Value();
    }

    static inline std::unique_ptr<CTruth> s_truth;
    static inline std::unique_ptr<CImage> s_source;
    static inline std::vector<CImage> s_views;
    static inline bool s_ready = false;
    static inline std::string s_fitPath;
    static inline std::unique_ptr<CMcHost> s_host;
    static inline std::string s_error;
};

TEST_F(RenderGroundTruth, ProjectKeepsTheMeasuredDirections)
{
    // The camera file's measured pixel directions through the saved and reopened project.
    std::unique_ptr<CMcCore> core = OpenTruthProject(23, 645.0);
    ASSERT_TRUE(core);
    double worst = 0.0;
    for (size_t i = 0; i < s_truth->views.size(); ++i) {
        const CKpic* picture = PictureOf(*core, i);
        ASSERT_TRUE(picture) << s_truth->views[i].file;
        EXPECT_DOUBLE_EQ(picture->m_Focal, s_truth->focal);
        for (const auto& s : s_truth->views[i].samples) {
            const double rad = 3.14159265358979323846 / 180.0;
            const CDPoint want = TruthToEngine(s[2] * rad, s[3] * rad);
            const CDPoint got = picture->PixelToSphere(CDPoint(s[0], s[1]));
            worst = std::max(worst, SphericalDistance(want, got) / rad);
        }
    }
    EXPECT_LT(worst, 0.02) << "degrees";
}

struct ProjectionCase {
    const char* name;
    int projection;
    CRect area;        // output-plane units at the source's focal
    double floorDb;
};

TEST_F(RenderGroundTruth, RenderedPanoramaMatchesItsSource)
{
    // The source's own scale: one plane unit per source pixel.
    const double f = s_source->width / EngineTwoPi;
    const int halfW = s_source->width / 2;
    const int halfH = s_source->height / 2;
    const ProjectionCase cases[] = {
        {"equirectangular", 23, {-halfW, -halfH, s_source->width - halfW, s_source->height - halfH}, 33.0},
        {"cylindrical", 21, {-halfW, -650, s_source->width - halfW, 650}, 31.5},
        {"equidistant fisheye", 32, {-700, -700, 700, 700}, 33.5},
    };
    for (const ProjectionCase& c : cases) {
        ResetProjectionReference(0);
        std::unique_ptr<CMcCore> opened = OpenTruthProject(c.projection, f);
        ASSERT_TRUE(opened);
        CMcCore& core = *opened;
        ASSERT_GT(core.SetupRender(c.area.left, c.area.top, c.area.right, c.area.bottom, c.area.Width(),
                                   c.area.Height(), 0),
                  0)
            << c.name;
        const std::vector<COLORREF> out = Render(core);
        long long covered = 0;
        const double psnr = PsnrAgainstSource(core, out, &covered);
        std::printf("[ ground truth ] %s: PSNR %.2f dB over %lld pixels\n", c.name, psnr, covered);
        EXPECT_GT(covered, static_cast<long long>(out.size()) / 4) << c.name;
        EXPECT_GE(psnr, c.floorDb) << c.name;
    }
}

TEST_F(RenderGroundTruth, LinearViewOfTheCentralPictureReproducesIt)
{
    // The first view looks straight ahead: a Linear render at its focal and size is that view.
    const CImage& view = s_views[0];
    std::unique_ptr<CMcCore> opened = OpenTruthProject(11, s_truth->focal);
    ASSERT_TRUE(opened);
    CMcCore& core = *opened;
    const int hx = view.width / 2;
    const int hy = view.height / 2;
    ASSERT_GT(core.SetupRender(-hx, -hy, view.width - hx, view.height - hy, view.width, view.height, 0), 0);
    const std::vector<COLORREF> out = Render(core);
    CPsnr psnr;
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            const CDPoint d = core.PlaneToSphere(core.OutputToPlane(x, y));
            double ref[3];
            if (SampleView(view, s_truth->views[0], s_truth->focal, d, 1.0, ref))
                psnr.Add(out[static_cast<size_t>(y) * view.width + x], ref);
        }
    }
    std::printf("[ ground truth ] linear view: PSNR %.2f dB over %lld pixels\n", psnr.Value(), psnr.Count() / 3);
    EXPECT_GT(psnr.Count() / 3, static_cast<long long>(out.size()) * 9 / 10);
    EXPECT_GE(psnr.Value(), 34.0);
}

} // namespace
