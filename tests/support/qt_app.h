// One QApplication for a test program, made before the first test runs (the tests set
// QT_QPA_PLATFORM=offscreen, so no display is needed).
#pragma once

#include <QApplication>

#include <gtest/gtest.h>

namespace smra_test {

class QtAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!QApplication::instance()) {
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
