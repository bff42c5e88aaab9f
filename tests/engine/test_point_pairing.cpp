// Control-point pairing and link upkeep on small fixtures of three overlapping pictures: which
// slot is whose partner, and what re-linking, removing, pruning and repairing leave behind.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "geometry/sphere.h"
#include "picset/mccore.h"

namespace {

// One slot as the table writes it: id, kind, state; target yaw in radians when it matters.
struct S {
    int32_t id;
    int32_t kind;
    int32_t state;
    double targetYaw = 0.3;  // the middle picture's direction
    bool operator==(const S& o) const { return id == o.id && kind == o.kind && state == o.state; }
};

std::ostream& operator<<(std::ostream& os, const S& s) { return os << "{" << s.id << "," << s.kind << "," << s.state << "}"; }

using Table = std::vector<std::vector<S>>;  // slots of the pictures A, B, C in list order

constexpr int32_t Anchor = PLACEMENT_ANCHOR_ID;

class PointPairing : public ::testing::Test {
protected:
    // Three fitted pictures side by side, 0.3 radians apart, each seeing half of the next.
    void Build(const Table& t)
    {
        for (int i = 0; i < 3; ++i) {
            auto k = std::make_unique<CKpic>();
            k->m_Path = std::string(1, static_cast<char>('a' + i)) + ".jpg";
            k->m_PictureRect = CRect(0, 0, 1000, 800);
            k->m_Focal = 1000.0;
            k->m_DefaultFocal = 1000.0;
            k->m_OpticalCentre = CDPoint(499.5, 399.5);
            k->m_Direction = CDPoint(0.3 * i, 0.0);
            k->m_Status = 3;
            for (std::size_t j = 0; j < t[static_cast<std::size_t>(i)].size(); ++j) {
                const S& s = t[static_cast<std::size_t>(i)][j];
                ControlPoint& cp = k->m_Points[j];
                cp.pointId = s.id;
                cp.kind = s.kind;
                cp.state = s.state;
                cp.position = CDPoint(500.0 + 10.0 * j, 400.0);
                cp.target = CDPoint(s.targetYaw, 0.01 * j);
                cp.spherePosition = k->PixelToSphere(cp.position);
            }
            m_core.m_Pictures.push_back(std::move(k));
        }
    }

    Table Slots() const
    {
        Table t(3);
        for (int i = 0; i < 3; ++i)
            for (const ControlPoint& cp : m_core.m_Pictures[static_cast<std::size_t>(i)]->m_Points)
                if (cp.kind != 0)
                    t[static_cast<std::size_t>(i)].push_back(S{cp.pointId, cp.kind, cp.state});
        return t;
    }

    CKpic* Pic(int i) { return m_core.m_Pictures[static_cast<std::size_t>(i)].get(); }

    CMcCore m_core;
};

TEST_F(PointPairing, PartnersAreFoundOnlyBeforeThePicture)
{
    Build({{{7, 1, 3}, {8, 1, 3}}, {{7, 1, 3}, {9, 1, 3}}, {{7, 1, 3}, {8, 1, 3}, {9, 1, 3}}});
    int slot = -1;
    EXPECT_EQ(m_core.FindPartnerPoint(Pic(1), 7, slot), Pic(0));
    EXPECT_EQ(slot, 0);
    EXPECT_EQ(m_core.FindPartnerPoint(Pic(1), 9, slot), nullptr);  // only C, after B, holds it
    EXPECT_EQ(m_core.FindPartnerPoint(Pic(2), 9, slot), Pic(1));
    EXPECT_EQ(slot, 1);
    CKpic outsider;
    EXPECT_EQ(m_core.FindPartnerPoint(&outsider, 7, slot), nullptr);

    // Unique: exactly one earlier holder and none later.
    EXPECT_EQ(m_core.FindUniquePartner(Pic(1), 9, slot), nullptr);  // C holds it too
    EXPECT_EQ(m_core.FindUniquePartner(Pic(2), 7, slot), nullptr);  // A and B hold it
    EXPECT_EQ(m_core.FindUniquePartner(Pic(2), 8, slot), Pic(0));
    EXPECT_EQ(m_core.FindUniquePartner(&outsider, 8, slot), nullptr);

    // A picture that is not fitted does not partner.
    Pic(0)->m_Status = 2;
    EXPECT_EQ(m_core.FindPartnerPoint(Pic(1), 7, slot), nullptr);
}

TEST_F(PointPairing, UpkeepLeavesTheExpectedSlots)
{
    enum Op { Resolve, Remove, RemoveAuto, Prune, Repair };
    struct Case {
        const char* what;
        Table before;
        Op op;
        Table after;
    };
    const Case cases[] = {
        {"an open slot with a partner becomes fitted; one without is opened",
         {{{7, 1, 3}}, {{7, 1, 0}, {9, 1, 3}, {10, 4, 2}}, {}},
         Resolve,
         {{{7, 1, 3}}, {{7, 1, 3}, {9, 1, 0}, {10, 4, 0}}, {}}},
        {"the anchor and a row-closing point keep their states without a partner",
         {{{Anchor, 1, -4}}, {{Anchor, 1, -4}, {11, 1, -6}, {12, 5, -5}}, {}},
         Resolve,
         {{{Anchor, 1, -4}}, {{Anchor, 1, -4}, {11, 1, -6}, {12, 5, 0}}, {}}},
        {"removing a slot removes its unique partner and compacts the partner's table",
         {{{6, 1, 3}, {7, 1, 3}, {8, 1, 3}}, {{7, 1, 3}}, {}},
         Remove,
         {{{6, 1, 3}, {8, 1, 3}}, {}, {}}},
        {"a partner held after the picture too is not unique: only the slot goes",
         {{{7, 1, 3}}, {{7, 1, 3}}, {{7, 1, 3}}},
         Remove,
         {{{7, 1, 3}}, {}, {{7, 1, 3}}}},
        {"automatic pairs go with their partners; user points and open automatic slots stay",
         {{{20, 4, 3}, {21, 1, 3}, {22, 5, 0}}, {{20, 4, 3}, {21, 1, 3}, {22, 5, 0}, {23, 3, -1}}, {}},
         RemoveAuto,
         {{{21, 1, 3}, {22, 5, 0}}, {{21, 1, 3}, {22, 5, 0}}, {}}},
        {"pruning keeps one open plus one fitted user slot (10001), frees two fitted (2) and two open (20000)",
         {{{1, 1, 0}, {2, 1, 3}, {3, 1, 0}}, {{1, 1, 3}, {2, 1, 3}, {3, 1, 0}}, {}},
         Prune,
         {{{1, 1, 0}}, {{1, 1, 3}}, {}}},
        {"pruning frees rejected automatic slots first, then their orphaned partners",
         {{{4, 4, 3}, {5, 4, 3}}, {{4, 4, -1}, {5, 1, 0}}, {}},
         Prune,
         {{{5, 4, 3}}, {{5, 1, 0}}, {}}},
        {"each picture's own anchor is sound, however many pictures hold one",
         {{{Anchor, 1, -4}}, {{Anchor, 1, -4}}, {{Anchor, 1, -4}}},
         Prune,
         {{{Anchor, 1, -4}}, {{Anchor, 1, -4}}, {{Anchor, 1, -4}}}},
        {"a direction pair (open slot plus its -5 point) and a row-closing pair are sound",
         {{{30, 5, 0}, {31, 1, 0}}, {{30, 5, -5}, {31, 1, -6}}, {}},
         Prune,
         {{{30, 5, 0}, {31, 1, 0}}, {{30, 5, -5}, {31, 1, -6}}, {}}},
        {"a fitted slot without a partner gets one in the picture covering its target",
         {{}, {{40, 1, 3, 0.1}}, {}},
         Repair,
         {{{40, 1, 0}}, {{40, 1, 3}}, {}}},
        {"a fitted slot whose target no other picture covers is cleared",
         {{}, {{41, 1, 3, 2.5}, {42, 1, 0}}, {}},
         Repair,
         {{}, {{42, 1, 0}}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_core.m_Pictures.clear();
        Build(c.before);
        m_core.m_RegionsValid = 1;
        switch (c.op) {
        case Resolve: m_core.ResolvePointPartners(Pic(1)); break;
        case Remove: m_core.RemoveControlPoint(Pic(1), 0); break;
        case RemoveAuto: m_core.RemoveAutoPoints(Pic(1)); break;
        case Prune: m_core.PruneBrokenLinks(); break;
        case Repair: m_core.RepairPointLinks(Pic(1)); break;
        }
        Table after = Slots();
        if (c.op == Remove) {
            // The picture's own table is not compacted by a removal: its freed slot is empty.
            EXPECT_EQ(Pic(1)->m_Points[0].kind, 0);
        }
        EXPECT_EQ(after, c.after);
        // Changed slots make the region list stale.
        EXPECT_EQ(m_core.m_RegionsValid, c.op == Prune && c.before == c.after ? 1 : 0);
    }
}

TEST_F(PointPairing, CreatedPairsSitWhereTheirDirectionsSay)
{
    Build({{}, {}, {}});
    // A partner for a direction B sees: in the first covering picture, at that direction.
    const CDPoint d(0.15, 0.05);
    CKpic* q = m_core.AddPartnerPoint(Pic(1), 77, d);
    ASSERT_EQ(q, Pic(0));
    const ControlPoint& cp = q->m_Points[0];
    EXPECT_EQ(cp.kind, 1);
    EXPECT_EQ(cp.state, 0);
    EXPECT_NEAR(SphericalDistance(q->PixelToSphere(cp.position), d), 0.0, 1e-9);
    EXPECT_EQ(cp.spherePosition, d);

    // A full table gives its last slot to the new point.
    for (int i = 0; i < CONTROL_POINT_SLOTS; ++i) {
        Pic(0)->m_Points[static_cast<std::size_t>(i)].kind = 1;
        Pic(0)->m_Points[static_cast<std::size_t>(i)].pointId = 1000 + i;
    }
    ASSERT_EQ(m_core.AddPartnerPoint(Pic(1), 78, d), Pic(0));
    EXPECT_EQ(Pic(0)->m_Points[49].pointId, 78);
    EXPECT_EQ(Pic(0)->m_Points[48].pointId, 1048);

    // A direction pair: C's direction as seen by its nearest fitted neighbour B.
    EXPECT_EQ(m_core.CreatePointPair(Pic(2), nullptr), 1);
    const ControlPoint& p = Pic(2)->m_Points[0];
    EXPECT_EQ(p.kind, 5);
    EXPECT_EQ(p.state, -5);
    EXPECT_EQ(p.position, Pic(2)->m_OpticalCentre);
    const ControlPoint& n = Pic(1)->m_Points[0];
    EXPECT_EQ(n.kind, 5);
    EXPECT_EQ(n.state, 0);
    EXPECT_EQ(n.pointId, p.pointId);
    EXPECT_NEAR(SphericalDistance(Pic(1)->PixelToSphere(n.position), Pic(2)->m_Direction), 0.0, 1e-9);
    // A second pair reuses the -5 slot.
    EXPECT_EQ(m_core.CreatePointPair(Pic(2), Pic(1)), 1);
    EXPECT_EQ(Pic(2)->CountControlPoints(), 1);

    // Too far off the neighbour's axis for its camera plane.
    Pic(2)->m_Direction = CDPoint(1.54, 0.0);
    EXPECT_EQ(m_core.CreatePointPair(Pic(2), Pic(0)), -1);
    EXPECT_EQ(m_core.CreatePointPair(nullptr, Pic(0)), -1);
}

TEST_F(PointPairing, OpenPointsListOnceWithTheirOutputPixels)
{
    Build({{{7, 1, 0}, {8, 1, 3}}, {{7, 1, 0}, {9, 1, 0}}, {}});
    Pic(1)->m_Status = 2;  // only fitted pictures list their open points
    m_core.m_Pictures[2]->m_Points[0] = Pic(1)->m_Points[1];
    m_core.CollectOpenPoints();
    ASSERT_EQ(m_core.m_Regions.size(), 2u);
    EXPECT_EQ(m_core.m_Regions[0].id, 7);
    EXPECT_EQ(m_core.m_Regions[1].id, 9);
    EXPECT_EQ(m_core.m_RegionsValid, 1);
    for (const PointEntry& e : m_core.m_Regions)
        EXPECT_EQ(e.ipos, m_core.SphereToPixel(e.pos));

    // The work view's marks: user points with a state, at their targets' output pixels.
    std::vector<MarkPoint> marks(3);
    m_core.GetPointMarks(Pic(0), marks);
    ASSERT_EQ(marks.size(), 1u);
    EXPECT_EQ(marks[0].picture, 2);
    EXPECT_EQ(marks[0].flag, 0);
    m_core.GetPointMarks(nullptr, marks);
    EXPECT_TRUE(marks.empty());
}

TEST_F(PointPairing, ResetPictureUnplacesItAndTakesItsPairsAlong)
{
    Build({{{7, 1, 3}}, {{7, 1, 3}, {Anchor, 1, -4}}, {}});
    Pic(1)->m_Focal = 1234.0;
    Pic(1)->m_FitScore = 5.0;
    m_core.ResetPicture(Pic(1));
    EXPECT_EQ(Pic(1)->m_Status, 0);
    EXPECT_EQ(Pic(1)->m_Direction, CDPoint(0.0, 0.0));
    EXPECT_EQ(Pic(1)->m_Focal, 1000.0);
    EXPECT_EQ(Pic(1)->m_FitScore, 0.0);
    EXPECT_EQ(Slots(), (Table{{}, {}, {}}));
}

} // namespace
