// Test main for suites that need a QApplication (widgets, painting, fonts).
// Runs headless: QT_QPA_PLATFORM=offscreen is set by CTest and defaulted here too.
#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <cstdlib>

int main(int argc, char** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    // Whatever the program remembers between runs goes to a folder of this run, never
    // to the settings of the user running the tests.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
