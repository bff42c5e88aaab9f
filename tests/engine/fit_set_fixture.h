// Picture sets for the fitting-step tests, built in memory: pictures of a given size, pose and
// focal (no image file behind them), exact control-point links between two pictures made from
// their true poses, and the true poses of the synthetic views in the engine's convention.
//
// A link is a pair of slots with one id, both kind 1 and state 3, at the pixels where the two
// pictures see the same direction; each slot's target is that true direction.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "geometry/lens_table.h"
#include "geometry/sphere.h"
#include "picset/mccore.h"
#include "tests/engine/test_render_truth.h"

namespace fit_fixture {

struct Pose {
    double yaw = 0.0;
    double pitch = 0.0;
    double roll = 0.0;
};

inline constexpr double Degree = 3.14159265358979323846 / 180.0;

// The lens table with no distortion, referenced to the pictures' half diagonal.
inline void UseIdentityLens(double halfDiagonal = 500.0)
{
    LensTable& table = GetLensTable();
    table.Reset();
    table.SetReference(1.0, halfDiagonal);
    table.Build(0.0, 0.95);
}

// Appends a picture named `name` with the pose, focal and size given, status 3, optical centre
// in the middle.
inline CKpic* AddPicture(CMcCore& set, const std::string& name, const Pose& pose, double focal, int width = 800,
                         int height = 600, int status = 3)
{
    auto k = std::make_unique<CKpic>();
    k->m_Path = "/pictures/" + name + ".jpg";
    k->m_PictureRect = CRect(0, 0, width, height);
    k->m_Focal = focal;
    k->m_DefaultFocal = focal;
    k->m_MinFocal = 100.0;
    k->m_LensFocal = -1.0;
    k->m_Direction = CDPoint(pose.yaw, pose.pitch);
    k->m_Roll = pose.roll;
    k->m_OpticalCentre = CDPoint((width - 1) * 0.5, (height - 1) * 0.5);
    k->m_LensScale = 1.0;
    k->m_Status = status;
    CKpic* raw = k.get();
    set.m_Pictures.push_back(std::move(k));
    return raw;
}

// Adds up to `wanted` exact links between a and b over a grid of a's pixels that b also sees
// (50 pixels inside its frame, where the point matching has room); the number added. Ids count
// up from *nextId.
inline int LinkPictures(CKpic* a, CKpic* b, int wanted, int32_t* nextId, int grid = 7)
{
    constexpr double Inside = 50.0;
    int added = 0;
    for (int gy = 0; gy < grid && added < wanted; ++gy) {
        for (int gx = 0; gx < grid && added < wanted; ++gx) {
            const CDPoint pa(Inside + (a->Width() - 2.0 * Inside) * gx / (grid - 1),
                             Inside + (a->Height() - 2.0 * Inside) * gy / (grid - 1));
            const CDPoint d = a->PixelToSphere(pa);
            if (SphericalDistance(d, b->m_Direction) > 1.2)
                continue;
            const CDPoint pb = b->SphereToPixel(d);
            if (!(pb.x > Inside && pb.x < b->Width() - Inside && pb.y > Inside && pb.y < b->Height() - Inside))
                continue;
            const int sa = a->FindFreePoint();
            const int sb = b->FindFreePoint();
            if (a->m_Points[static_cast<std::size_t>(sa)].IsUsed() || b->m_Points[static_cast<std::size_t>(sb)].IsUsed())
                return added;
            const int32_t id = (*nextId)++;
            for (auto [k, slot, p] : {std::tuple{a, sa, pa}, std::tuple{b, sb, pb}}) {
                ControlPoint& cp = k->m_Points[static_cast<std::size_t>(slot)];
                cp.kind = 1;
                cp.state = 3;
                cp.pointId = id;
                cp.position = p;
                cp.target = d;
            }
            ++added;
        }
    }
    a->RefreshControlPoints();
    b->RefreshControlPoints();
    return added;
}

// The synthetic views' camera file; empty (with the reason) when it is missing.
inline bool LoadViews(render_truth::CTruth* truth, std::string* why)
{
    return render_truth::LoadTruth(std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3/truth.json", truth, why);
}

inline Pose TruthPose(const render_truth::CTruthView& view)
{
    const render_truth::COrientation o = render_truth::EngineOrientation(view);
    return {o.yaw, o.pitch, o.roll};
}

// How far a picture's orientation is from a pose (radians): the larger of the miss of its
// optical axis and the difference of the roll about it.
inline double FrameAngle(const CKpic& k, const Pose& p)
{
    return std::max(SphericalDistance(k.m_Direction, CDPoint(p.yaw, p.pitch)), std::fabs(NormalizeAngle(k.m_Roll - p.roll)));
}

// The synthetic views `views` as a fitted set, the first one the base picture looking straight
// ahead (the world is turned by its yaw; its pitch and roll are below 0.001 degrees), every
// picture linked by up to `links` exact pairs to each earlier picture it overlaps. The poses
// the pictures were given are returned in list order; the common focal is the true one.
inline std::vector<Pose> AddViews(CMcCore& set, const render_truth::CTruth& truth, const std::vector<int>& views,
                                  int links)
{
    std::vector<Pose> poses;
    const double baseYaw = TruthPose(truth.views[static_cast<std::size_t>(views.front())]).yaw;
    int32_t id = 5000;
    for (int v : views) {
        Pose p = TruthPose(truth.views[static_cast<std::size_t>(v)]);
        p.yaw = NormalizeAngle(p.yaw - baseYaw);
        if (poses.empty())
            p = Pose{};
        char name[16];
        std::snprintf(name, sizeof name, "v%02d", v);
        CKpic* k = AddPicture(set, name, p, truth.focal, truth.imageWidth, truth.imageHeight);
        for (std::size_t i = 0; i + 1 < set.m_Pictures.size(); ++i)
            LinkPictures(set.m_Pictures[i].get(), k, links, &id);
        poses.push_back(p);
    }
    set.m_CommonFocal = truth.focal;
    set.SortPlacedFirst();
    return poses;
}

// The image file of a picture that AddViews made.
inline std::string ViewFile(const CKpic& k)
{
    return std::string(SMRA_TESTDATA_DIR) + "/synthetic-views-rhein3/rhein3_" + k.m_Path.substr(k.m_Path.rfind('/') + 1);
}

} // namespace fit_fixture
