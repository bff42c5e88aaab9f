// One QApplication for a test program, made before the first test runs, on Qt's offscreen
// platform unless another is asked for: the window tests need no display.
#pragma once

#include <QApplication>

#include <gtest/gtest.h>

namespace smra_test {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!QApplication::instance()) {
            if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
                qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "smra_test";
            static char* argv[] = {name, nullptr};
            m_app = new QApplication(argc, argv);
        }
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication* m_app = nullptr;
};

} // namespace smra_test

// Registers the environment once per test program (include from exactly one file).
#define SMRA_QT_TEST_APP()                                                                         \
    static ::testing::Environment* const smra_qt_env_ =                                            \
        ::testing::AddGlobalTestEnvironment(new ::smra_test::QtAppEnvironment)
