// Linked into every test program: each test starts from the process state of a fresh start,
// whatever the tests before it installed or changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <unistd.h>

#include "picset/process_state.h"

namespace {

class ProcessStateReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override { ResetProcessState(); }
};

class ProcessStateEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        // Test programs of one folder share a settings folder, and CTest runs them side by side:
        // each process keeps its settings in a folder of its own below it, so one test never
        // sees another's files appear or change.
        if (const char* dir = std::getenv("SMRA_SETTINGS_DIR"); dir && *dir) {
            const std::string own = std::string(dir) + "/p" + std::to_string(::getpid());
            setenv("SMRA_SETTINGS_DIR", own.c_str(), 1);
        }
        ResetProcessState();
        ::testing::UnitTest::GetInstance()->listeners().Append(new ProcessStateReset);
    }
};

const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new ProcessStateEnvironment);

} // namespace
