// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/AutostartLoginItem.h"

#include "TestSupport.h"

#include <QCoreApplication>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace tarvo::test {
namespace {

using platform::AutostartLoginItem;
using Status = platform::LoginItem::Status;

TEST(AutostartLoginItem, EnableWritesTheEntryDisableRemovesItAndAFailedWriteKeepsTheOldOne)
{
    TempDir config;
    ScopedEnv configHome("XDG_CONFIG_HOME", config.path().string());
    const std::filesystem::path entry = config / "autostart/com.tarvo.app.desktop";
    AutostartLoginItem item;
    EXPECT_EQ(item.status(), Status::notRegistered);
    EXPECT_EQ(item.setEnabled(true), std::nullopt);
    const QString exec = AutostartLoginItem::execValue(QCoreApplication::applicationFilePath());
    EXPECT_EQ(readFile(entry), "[Desktop Entry]\nType=Application\nName=Tarvo\nExec=" + exec.toStdString() +
                                   "\nIcon=com.tarvo.app\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(item.status(), Status::enabled);
    EXPECT_EQ(item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(entry));
    EXPECT_EQ(item.setEnabled(false), std::nullopt); // already gone is fine

    writeFile(entry, "[Desktop Entry]\nExec=tarvo\nHidden=false\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(item.status(), Status::enabled);
    const std::string hidden = "[Desktop Entry]\nExec=old\nHidden = true\n";
    writeFile(entry, hidden);
    EXPECT_EQ(item.status(), Status::notRegistered);

    // A file size limit makes the write itself fail, for root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const rlimit limit{16, saved.rlim_max};
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto error = item.setEnabled(true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, QString::fromStdString(entry.string()) + ": " + QString::fromLocal8Bit(strerror(EFBIG)));
    EXPECT_EQ(readFile(entry), hidden);
    EXPECT_EQ(namesIn(entry.parent_path()), std::vector<std::string>{"com.tarvo.app.desktop"}); // no leftovers
    EXPECT_EQ(item.setEnabled(true), std::nullopt); // replaces the hidden entry
    EXPECT_EQ(item.status(), Status::enabled);

    // Root ignores permission bits, so the folder is made impossible instead: a file in its way.
    ScopedEnv blocked("XDG_CONFIG_HOME", entry.string());
    const auto folderError = item.setEnabled(true);
    ASSERT_TRUE(folderError.has_value());
    EXPECT_TRUE(folderError->startsWith(QString::fromStdString(entry.string()))) << folderError->toStdString();
}

TEST(AutostartLoginItem, ExecValueAndEntryPath)
{
    EXPECT_EQ(AutostartLoginItem::execValue("/usr/bin/tarvo"), "/usr/bin/tarvo");
    // The space asks for quotes, which escape '$', '"' and '\'; the string rules then double each backslash
    // and write the tab as \t. A lone '%' would start a field code.
    EXPECT_EQ(AutostartLoginItem::execValue("/opt/My $\"A\\pps/100%/\t"), R"("/opt/My \\$\\"A\\\\pps/100%%/\t")");

    TempDir home;
    ScopedEnv homeVariable("HOME", home.path().string());
    for (const char* value : {"", "relative/config"}) {
        ScopedEnv configHome("XDG_CONFIG_HOME", std::string(value));
        EXPECT_EQ(AutostartLoginItem::entryPath().toStdString(),
                  (home / ".config/autostart/com.tarvo.app.desktop").string());
    }
}

} // namespace
} // namespace tarvo::test
