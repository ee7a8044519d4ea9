// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/RarInstaller.h"

#include "TaskRunner.h"
#include "TestSupport.h"
#include "engine/l10n/L10n.h"
#include "engine/util/AppPaths.h"
#include "engine/vocabulary/ArchiveError.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <gtest/gtest.h>
#include <map>
#include <sys/utsname.h>

namespace tarvo::test {
namespace {

using app::RarInstaller;
using engine::ArchiveError;
namespace fs = std::filesystem;

// Serves `package` at /rar/rarlinux-x64-723.tar.gz, redirects /moved/X to /X and answers 404 to the rest.
struct PackageServer
{
    PackageServer()
    {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request = socket->peek(socket->bytesAvailable());
                if (!request.contains("\r\n\r\n")) {
                    return;
                }
                const QByteArray path = request.split(' ').value(1);
                const bool found = path == "/rar/rarlinux-x64-723.tar.gz";
                const QByteArray head = found                        ? "200 OK"
                                        : path.startsWith("/moved/") ? "302 Found\r\nLocation: " + path.mid(6)
                                                                     : "404 Not Found";
                const QByteArray body = found ? package : "not the package";
                socket->write("HTTP/1.1 " + head + "\r\nContent-Length: " + QByteArray::number(body.size()) +
                              "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            });
        });
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }

    QTcpServer server;
    QByteArray package;
};

class RarInstallerTest : public testing::Test
{
protected:
    void SetUp() override
    {
        utsname system{};
        if (::uname(&system) != 0 || std::string_view(system.machine) != "x86_64" || !systemTool("bsdtar")) {
            GTEST_SKIP() << "needs an x86_64 machine and bsdtar";
        }
        fs::create_directories(root / "tmp");
    }

    // Neither the TarvoRAR work folder nor the downloaded file outlives an installation.
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

    template <typename Error = ArchiveError> static Error failure()
    {
        try {
            runTask(RarInstaller::installOfficialTools(), 30000);
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
    engine::ScopedLanguage english{engine::AppLanguage::english};
    fs::path tools = engine::AppPaths::toolDirectory();
};

TEST_F(RarInstallerTest, InstallsRarAndUnrarAndFailuresLeaveNoProgram)
{
    pack({{"rar/unrar", "only unrar"}, {"rar/rar.txt", "text"}});
    EXPECT_EQ(failure().errorDescription(), "The RARLAB archive has no rar.");
    server.package = "this is not gzip";
    EXPECT_EQ(failure().tool(), "bsdtar");
    {
        ScopedEnv wrong("TARVO_RARLAB_URL", server.url().toStdString() + "/elsewhere");
        EXPECT_EQ(failure(), ArchiveError::toolFailed("rar", 404, "RARLAB returned an error."));
        QTcpServer closed;
        ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
        ScopedEnv nowhere("TARVO_RARLAB_URL", "http://127.0.0.1:" + std::to_string(closed.serverPort()));
        closed.close();
        EXPECT_STREQ(failure<std::runtime_error>().what(), "Connection refused");
    }
    EXPECT_FALSE(fs::exists(tools / "rar") || fs::exists(tools / "unrar"));

    pack({{"rar/.hidden/bin/rar", "deep"}, {"rar/unrar.txt", "not a program"}});
    runTask(RarInstaller::installOfficialTools(), 30000);
    EXPECT_EQ(namesIn(tools), std::vector<std::string>{"rar"});
    EXPECT_EQ(run(tools / "rar"), "deep\n");

    // Again over an older rar, through a redirect whose own body must not end up in the package.
    fs::permissions(tools / "rar", fs::perms::owner_all);
    pack({{"rar/rar", "new-rar"}, {"rar/unrar", "new-unrar"}});
    ScopedEnv moved("TARVO_RARLAB_URL", server.url().toStdString() + "/moved/");
    runTask(RarInstaller::installOfficialTools(), 30000);
    EXPECT_EQ(namesIn(tools), (std::vector<std::string>{"rar", "unrar"}));
    for (const char* name : {"rar", "unrar"}) {
        EXPECT_EQ(fs::symlink_status(tools / name).permissions(), fs::perms(0755));
        EXPECT_EQ(run(tools / name), "new-" + std::string(name) + "\n");
    }
}

TEST_F(RarInstallerTest, WalkTakesOnlyProgramsFromInsideThePackage)
{
    const fs::path work = root / "work";
    const fs::path dest = root / "dest";
    fs::create_directories(dest / "rar" / "old");
    writeFile(root / "outside" / "rar", "outside");
    fs::create_directories(work / "a");
    fs::create_directory_symlink(root / "outside", work / "a" / "link");
    fs::create_symlink("/bin/sh", work / "a" / "rar");
    EXPECT_THROW(RarInstaller::installBinary("rar", work / "a", dest), ArchiveError);

    // A link inside the package stands for its file; a folder in the way at the target is replaced.
    writeFile(work / "c" / "rar", "real rar");
    writeFile(work / "d" / "payload", "payload");
    fs::create_symlink("../d/payload", work / "c" / "unrar");
    RarInstaller::installBinary("rar", work, dest);
    RarInstaller::installBinary("unrar", work, dest);
    EXPECT_EQ(readFile(dest / "rar"), "real rar");
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

} // namespace
} // namespace tarvo::test
