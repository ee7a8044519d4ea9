// SPDX-License-Identifier: GPL-3.0-or-later

// Google Test with a Qt application, so that tests can run event loops, widgets and D-Bus.
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // No display in tests: the offscreen platform stands in unless a test run chose another.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // Qt wants a private runtime folder; a test run must not share the user's.
    QTemporaryDir runtime;
    if (std::getenv("XDG_RUNTIME_DIR") == nullptr && runtime.isValid()) {
        QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    }
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Tarvo"));
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
