// SPDX-License-Identifier: GPL-3.0-or-later

// The real tarvo-finder on a private session bus: the signal to a running application, and the launch of
// `tarvo` when there is none, no bus, or too much to say.
#include "TaskRunner.h"
#include "TestSupport.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QVariantMap>
#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

namespace fs = std::filesystem;

// Stands in for the running application: owns its bus name and records the requests it hears.
class RequestListener : public QObject
{
    Q_OBJECT

public:
    std::vector<QVariantMap> requests;

public Q_SLOTS:
    void request(const QVariantMap& request) { requests.push_back(request); }
};

// The helper's exit code; -1 when it did not end within the bound.
int runHelper(const fs::path& helper, const QStringList& arguments, const fs::path& workingDirectory,
              const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(workingDirectory));
    process.start(QString::fromStdString(helper), arguments);
    const bool finished = process.waitForFinished(10000);
    process.kill();
    return finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

class FinderHelper : public testing::Test
{
protected:
    void SetUp() override
    {
        for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            fs::create_directory(home / name);
            m_environment.emplace_back(name, (home / name).string());
        }
        if (!bus.isConnected() || bus.interface()->isServiceRegistered("com.tarvo.app")) {
            GTEST_SKIP() << "no private session bus: run the test through dbus-run-session";
        }
        ASSERT_TRUE(bus.connect(QString(), "/com/tarvo/finder", "com.tarvo.finder", "request", &listener,
                                SLOT(request(QVariantMap))));
    }
    void TearDown() override { bus.unregisterService("com.tarvo.app"); }

    TempDir home;
    std::list<ScopedEnv> m_environment;
    QDBusConnection bus = QDBusConnection::sessionBus();
    RequestListener listener;
};

TEST_F(FinderHelper, SignalsTheRunningApplicationWithTheArchivesInSelectionOrder)
{
    ASSERT_TRUE(bus.registerService("com.tarvo.app"));
    EXPECT_EQ(runHelper(TARVO_FINDER_EXECUTABLE, {"unpack", "a.zip"}, home.path()), 2);
    // Nothing left to extract: nothing is sent (it would arrive before the request below).
    EXPECT_EQ(runHelper(TARVO_FINDER_EXECUTABLE, {"extract", "/x/t.txt"}, home.path()), 0);
    const QStringList selection{"extract", "A.ZIP", "/x/b.txt", "/y/it's \"c\" d.7z", "-e.Rar"};
    EXPECT_EQ(runHelper(TARVO_FINDER_EXECUTABLE, selection, home.path()), 0);

    ASSERT_TRUE(spinUntil([&] { return !listener.requests.empty(); }, 5000));
    ASSERT_EQ(listener.requests.size(), 1u);
    EXPECT_EQ(listener.requests[0].value("action"), "extract");
    const QString work = QString::fromStdString(home.path());
    EXPECT_EQ(listener.requests[0].value("paths").toStringList(),
              (QStringList{work + "/A.ZIP", selection[3], work + "/-e.Rar"}));
}

TEST_F(FinderHelper, StartsTarvoBesideItWithoutOwnerWithoutBusOrForTooBigARequest)
{
    // A copy of the helper beside a stand-in `tarvo` that writes down how it was started.
    fs::copy_file(TARVO_FINDER_EXECUTABLE, home / "tarvo-finder");
    installFakeTool("recording-tarvo", home / "tarvo");
    const fs::path record = home / "HOME/record";
    const auto launched = [&](const QStringList& arguments, const QProcessEnvironment& environment) {
        fs::remove(record);
        EXPECT_EQ(runHelper(home / "tarvo-finder", arguments, home.path(), environment), 0);
        return spinUntil([&] { return fs::exists(record); }, 10000) ? readFile(record) : "(not started)";
    };
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    EXPECT_EQ(launched({"compress", "/p/one", "two words"}, environment),
              "--finder\ncompress\n/p/one\n" + (home / "two words").string() + "\n");

    QProcessEnvironment noBus = environment;
    noBus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    EXPECT_EQ(launched({"test", "/p/a.7z", "/p/n.txt"}, noBus), "--finder\ntest\n/p/a.7z\n");

    // With the application running, 40,000 bytes still go by the launch, which has no such limit.
    ASSERT_TRUE(bus.registerService("com.tarvo.app"));
    const std::string first = "/" + std::string(19'999, 'p');
    const std::string second = "/" + std::string(19'998, 'q');
    EXPECT_EQ(launched({"compress", QString::fromStdString(first), QString::fromStdString(second)}, environment),
              "--finder\ncompress\n" + first + "\n" + second + "\n");
    EXPECT_TRUE(listener.requests.empty());
}

TEST_F(FinderHelper, TheRealTarvoTakesRequestsFromTheHelperAndFromASecondTarvo)
{
    writeFile(home / "XDG_CONFIG_HOME/Tarvo/Tarvo.conf", "[General]\ntarvo.reveal=false\n");
    for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
        writeFile(home / "work" / name, name);
    }
    QProcess running;
    running.start(TARVO_EXECUTABLE, {});
    ASSERT_TRUE(spinUntil([&] { return bus.interface()->isServiceRegistered("com.tarvo.app"); }, 10000));

    EXPECT_EQ(runHelper(TARVO_FINDER_EXECUTABLE, {"compress", "work/a.txt", "work/b.txt"}, home.path()), 0);
    EXPECT_TRUE(spinUntil([&] { return fs::exists(home / "work/Archive.zip"); }, 10000));
    // A second tarvo hands its request over and ends; so does one that only wants the window.
    EXPECT_EQ(runHelper(TARVO_EXECUTABLE, {"--finder", "compress", "c.txt"}, home / "work"), 0);
    EXPECT_TRUE(spinUntil([&] { return fs::exists(home / "work/c.zip"); }, 10000));
    EXPECT_EQ(runHelper(TARVO_EXECUTABLE, {}, home.path()), 0);
    EXPECT_EQ(running.state(), QProcess::Running);
    running.terminate();
    EXPECT_TRUE(running.waitForFinished(10000));
}

TEST_F(FinderHelper, TarvoEndedByTheSessionStopsItsToolAndLeavesNothingBehind)
{
    writeFile(home / "XDG_CONFIG_HOME/Tarvo/Tarvo.conf", "[General]\ntarvo.reveal=false\ntarvo.format=7z\n");
    // A 7-Zip that starts writing the archive, then hangs.
    writeScript(home / "XDG_DATA_HOME/Tarvo/bin/7zz",
                "for a in \"$@\"; do case $a in *.7z) echo partial >\"$a\";; esac; done\nexec sleep 60\n");
    writeFile(home / "work/a.txt", "a");
    QProcess running;
    running.start(TARVO_EXECUTABLE, {"--finder", "compress", QString::fromStdString((home / "work/a.txt").string())});
    ASSERT_TRUE(spinUntil([&] { return namesIn(home / "work").size() == 2; }, 10000));
    running.terminate();
    ASSERT_TRUE(running.waitForFinished(10000));
    EXPECT_EQ(running.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(running.exitCode(), 0);
    EXPECT_EQ(namesIn(home / "work"), std::vector<std::string>{"a.txt"});
}

} // namespace
} // namespace tarvo::test

#include "FinderHelperTest.moc"
