// Linked into every test program: each test starts from the process state of a fresh start,
// whatever the tests before it installed or changed.
#include <gtest/gtest.h>

#include "picset/process_state.h"

namespace {

class ProcessStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { ResetProcessState(); }
};

class ProcessStateEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        ResetProcessState();
        ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateReset);
    }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ProcessStateEnvironment);

} // namespace
