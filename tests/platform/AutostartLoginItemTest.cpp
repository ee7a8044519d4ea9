#include "AutostartLoginItem.h"

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

class AutostartLoginItemTest : public testing::Test
{
protected:
    TempDir m_config;
    ScopedEnv m_configHome{"XDG_CONFIG_HOME", m_config.path().string()};
    std::filesystem::path m_entry = m_config / "autostart/com.tarvo.app.desktop";
    AutostartLoginItem m_item;
};

TEST_F(AutostartLoginItemTest, EnableWritesAnEntryThatDisableRemoves)
{
    EXPECT_EQ(m_item.status(), Status::notRegistered);
    EXPECT_EQ(m_item.setEnabled(true), std::nullopt);
    const QString exec = AutostartLoginItem::execValue(QCoreApplication::applicationFilePath());
    EXPECT_EQ(readFile(m_entry), "[Desktop Entry]\nType=Application\nName=Tarvo\nExec=" + exec.toStdString() +
                                     "\nIcon=com.tarvo.app\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(m_item.status(), Status::enabled);

    EXPECT_EQ(m_item.setEnabled(false), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(m_entry));
    EXPECT_EQ(m_item.status(), Status::notRegistered);
    EXPECT_EQ(m_item.setEnabled(false), std::nullopt); // already gone is fine
}

TEST_F(AutostartLoginItemTest, HiddenEntryCountsAsNotRegistered)
{
    writeFile(m_entry, "[Desktop Entry]\nExec=tarvo\nHidden = true\n");
    EXPECT_EQ(m_item.status(), Status::notRegistered);
    writeFile(m_entry, "[Desktop Entry]\nExec=tarvo\nHidden=false\n[Desktop Action x]\nHidden=true\n");
    EXPECT_EQ(m_item.status(), Status::enabled);
    writeFile(m_entry, "[Desktop Entry]\nHidden=true\n");
    EXPECT_EQ(m_item.setEnabled(true), std::nullopt); // replaces the hidden entry
    EXPECT_EQ(m_item.status(), Status::enabled);
}

TEST_F(AutostartLoginItemTest, FailedEnableReportsAndLeavesThePreviousEntryWhole)
{
    {
        // Root ignores permission bits, so the folder is made impossible instead: a file in its way.
        writeFile(m_config / "file", "x");
        ScopedEnv configHome("XDG_CONFIG_HOME", (m_config / "file").string());
        const auto error = m_item.setEnabled(true);
        ASSERT_TRUE(error.has_value());
        EXPECT_TRUE(error->startsWith(QString::fromStdString((m_config / "file").string()))) << error->toStdString();
    }

    const std::string previous = "[Desktop Entry]\nExec=old\nHidden=true\n";
    writeFile(m_entry, previous);
    // A file size limit makes the write itself fail, for root too.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limit = saved;
    limit.rlim_cur = 16;
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto error = m_item.setEnabled(true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(error, QString::fromStdString(m_entry.string()) + ": " + QString::fromLocal8Bit(strerror(EFBIG)));
    EXPECT_EQ(readFile(m_entry), previous);
    EXPECT_EQ(namesIn(m_entry.parent_path()), std::vector<std::string>{"com.tarvo.app.desktop"}); // no leftovers
    EXPECT_EQ(m_item.status(), Status::notRegistered);
}

TEST(AutostartLoginItem, ExecValueQuotesAndEscapesForTheDesktopEntryFormat)
{
    const std::pair<QString, QString> cases[] = {
        {"/usr/bin/tarvo", "/usr/bin/tarvo"},
        {"/opt/My Apps/tarvo", R"("/opt/My Apps/tarvo")"},
        // '$' is escaped by the quoting, and that backslash again by the string rules.
        {"/opt/a$b/tarvo", R"("/opt/a\\$b/tarvo")"},
        {R"(/opt/back\slash)", R"("/opt/back\\\\slash")"},
        {R"(/opt/"q"/t)", R"("/opt/\\"q\\"/t")"},
        {"/opt/100%/tarvo", "/opt/100%%/tarvo"},
        {"/opt/tab\there", "\"/opt/tab\\there\""},
    };
    for (const auto& [program, expected] : cases) {
        EXPECT_EQ(AutostartLoginItem::execValue(program), expected) << program.toStdString();
    }
}

TEST(AutostartLoginItem, EntryPathFallsBackToHomeConfig)
{
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
