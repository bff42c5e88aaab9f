// Every engine test starts from the process-wide state of a fresh program: the lens table as
// constructed and the projection reference at its start value. Tests that build or load a
// picture set change both, and later tests must not inherit them.
#include <gtest/gtest.h>

#include "engine/geometry/lens_table.h"
#include "engine/geometry/sphere.h"

namespace {

class FreshProcessState : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        GetLensTable() = LensTable();
        ResetProjectionReference(0);
    }
};

const bool registered = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshProcessState);
    return true;
}();

} // namespace
