#include "RarInstaller.h"

#include "AppPaths.h"
#include "ArchiveError.h"
#include "L10n.h"
#include "TaskRunner.h"
#include "TestSupport.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <map>
#include <sys/utsname.h>

using tarvo::app::RarInstaller;
using tarvo::engine::AppLanguage;
using tarvo::engine::ArchiveError;
using tarvo::test::namesIn;
using tarvo::test::readFile;
using tarvo::test::runProgram;
using tarvo::test::runTask;
using tarvo::test::ScopedEnv;
using tarvo::test::TempDir;
using tarvo::test::writeFile;
using tarvo::test::writeScript;
namespace fs = std::filesystem;

namespace {

// Serves `package` at /rar/rarlinux-x64-723.tar.gz, redirects /moved/... to /..., answers 404 to
// the rest, and notes every path asked for.
class PackageServer
{
public:
    PackageServer()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { answer(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort()); }

    QByteArray package;
    std::vector<std::string> paths;

private:
    void answer(QTcpSocket* socket)
    {
        const QByteArray request = socket->peek(socket->bytesAvailable());
        if (!request.contains("\r\n\r\n")) {
            return;
        }
        const QByteArray path = request.split(' ').value(1);
        paths.push_back(path.toStdString());
        QByteArray head = "404 Not Found";
        QByteArray body = "missing";
        if (path.startsWith("/moved/")) {
            head = "302 Found\r\nLocation: " + path.mid(6);
            body = "moved";
        } else if (path == "/rar/rarlinux-x64-723.tar.gz") {
            head = "200 OK";
            body = package;
        }
        socket->write("HTTP/1.1 " + head + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
};

class RarInstallerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        utsname system{};
        ::uname(&system);
        if (std::string_view(system.machine) != "x86_64" || !tarvo::test::systemTool("bsdtar")) {
            GTEST_SKIP() << "needs an x86_64 machine and bsdtar";
        }
        fs::create_directories(root / "tmp");
    }

    // Neither the work folder nor the downloaded file outlives an installation.
    void TearDown() override { EXPECT_EQ(namesIn(root / "tmp"), std::vector<std::string>{}); }

    // Scripts that print their text, packed as the vendor does into what the server hands out.
    void pack(const std::map<std::string, std::string>& scripts)
    {
        fs::remove_all(root / "package");
        for (const auto& [name, output] : scripts) {
            writeScript(root / "package" / name, "echo " + output);
        }
        const auto result = runProgram(
            {"/usr/bin/bsdtar", "-czf", (root / "package.tar.gz").string(), "-C", (root / "package").string(), "."});
        ASSERT_EQ(result.status, 0) << result.errors;
        server.package = QByteArray::fromStdString(readFile(root / "package.tar.gz"));
    }

    static void install() { runTask(RarInstaller::installOfficialTools(), 30000); }

    template <typename Error> static Error failure()
    {
        try {
            install();
        } catch (const Error& error) {
            return error;
        }
        throw std::logic_error("the installation did not fail");
    }

    static std::string run(const fs::path& program) { return runProgram({program.string()}).output; }

    TempDir root;
    PackageServer server;
    ScopedEnv tmpdir{"TMPDIR", (root / "tmp").string()};
    ScopedEnv data{"XDG_DATA_HOME", (root / "data").string()};
    ScopedEnv site{"TARVO_RARLAB_URL", server.url().toStdString()};
    tarvo::engine::ScopedLanguage english{AppLanguage::english};
    fs::path tools = tarvo::engine::AppPaths::toolDirectory();
};

} // namespace

TEST_F(RarInstallerTest, InstallsBothProgramsOverOlderOnes)
{
    pack({{"rar/rar", "new-rar"}, {"rar/unrar", "new-unrar"}, {"rar/readme.txt", "text"}});
    install();
    EXPECT_EQ(server.paths, std::vector<std::string>{"/rar/rarlinux-x64-723.tar.gz"});
    EXPECT_EQ(namesIn(tools), (std::vector<std::string>{"rar", "unrar"}));
    EXPECT_EQ(fs::symlink_status(tools / "rar").permissions(), fs::perms(0755));
    EXPECT_EQ(fs::symlink_status(tools / "unrar").permissions(), fs::perms(0755));
    EXPECT_EQ(run(tools / "rar"), "new-rar\n");
    EXPECT_EQ(run(tools / "unrar"), "new-unrar\n");

    // Again over an older rar, through a redirect whose own body must not end up in the package.
    writeScript(tools / "rar", "echo old");
    fs::permissions(tools / "rar", fs::perms::owner_all);
    pack({{"rar/rar", "newer-rar"}, {"rar/unrar", "newer-unrar"}});
    ScopedEnv moved("TARVO_RARLAB_URL", server.url().toStdString() + "/moved/");
    install();
    EXPECT_EQ(run(tools / "rar"), "newer-rar\n");
    EXPECT_EQ(fs::symlink_status(tools / "rar").permissions(), fs::perms(0755));
    EXPECT_EQ(namesIn(tools), (std::vector<std::string>{"rar", "unrar"}));
}

TEST_F(RarInstallerTest, FindsRarDeepDownAndGoesWithoutUnrar)
{
    pack({{"rar/.hidden/bin/rar", "deep"}, {"rar/unrar.txt", "not a program"}});
    install();
    EXPECT_EQ(namesIn(tools), std::vector<std::string>{"rar"});
    EXPECT_EQ(run(tools / "rar"), "deep\n");
}

TEST_F(RarInstallerTest, FailuresLeaveNoProgram)
{
    pack({{"rar/unrar", "only unrar"}, {"rar/rar.txt", "text"}});
    ArchiveError error = failure<ArchiveError>();
    EXPECT_EQ(error.errorDescription(), "The RARLAB archive has no rar.");
    EXPECT_FALSE(fs::exists(tools / "unrar"));

    server.package = "this is not gzip";
    error = failure<ArchiveError>();
    EXPECT_EQ(error.tool(), "bsdtar");
    EXPECT_NE(error.status(), 0);

    ScopedEnv wrong("TARVO_RARLAB_URL", server.url().toStdString() + "/elsewhere");
    EXPECT_EQ(failure<ArchiveError>(), ArchiveError::toolFailed("rar", 404, "RARLAB returned an error."));
    EXPECT_FALSE(fs::exists(tools / "rar"));
}

TEST_F(RarInstallerTest, ConnectionRefusedGivesThePlatformText)
{
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const auto port = closed.serverPort();
    closed.close();
    ScopedEnv nowhere("TARVO_RARLAB_URL", "http://127.0.0.1:" + std::to_string(port));
    EXPECT_STREQ(failure<std::runtime_error>().what(), "Connection refused");
    EXPECT_FALSE(fs::exists(root / "data"));
}

TEST_F(RarInstallerTest, WalkTakesOnlyProgramsFromInsideThePackage)
{
    const fs::path work = root / "work";
    const fs::path dest = root / "dest";
    fs::create_directories(dest / "rar" / "old");
    writeFile(root / "outside" / "rar", "outside");
    fs::create_directories(work / "a");
    fs::create_directory_symlink(root / "outside", work / "a" / "link");
    EXPECT_THROW(RarInstaller::installBinary("rar", work / "a", dest), ArchiveError);
    fs::create_directories(work / "b");
    fs::create_symlink("/bin/sh", work / "b" / "rar");
    EXPECT_THROW(RarInstaller::installBinary("rar", work / "b", dest), ArchiveError);

    // A link inside the package stands for its file; a folder in the way at the target is replaced.
    writeFile(work / "c" / "rar", "real rar");
    writeFile(work / "d" / "payload", "payload");
    fs::create_symlink("../d/payload", work / "c" / "unrar");
    RarInstaller::installBinary("rar", work, dest);
    RarInstaller::installBinary("unrar", work, dest);
    EXPECT_EQ(readFile(dest / "rar"), "real rar");
    EXPECT_EQ(fs::symlink_status(dest / "rar").permissions(), fs::perms(0755));
    EXPECT_FALSE(fs::is_symlink(dest / "unrar"));
    EXPECT_EQ(readFile(dest / "unrar"), "payload");
    EXPECT_EQ(namesIn(dest), (std::vector<std::string>{"rar", "unrar"}));
}

TEST(RarInstallerNames, PackageAndAddress)
{
    EXPECT_EQ(RarInstaller::packageName("x86_64"), QStringLiteral("rarlinux-x64-723.tar.gz"));
    EXPECT_EQ(RarInstaller::packageName("aarch64"), std::nullopt);
    ScopedEnv unset("TARVO_RARLAB_URL", std::nullopt);
    EXPECT_EQ(RarInstaller::downloadUrl(QStringLiteral("p.tar.gz")),
              QUrl(QStringLiteral("https://www.rarlab.com/rar/p.tar.gz")));
}
