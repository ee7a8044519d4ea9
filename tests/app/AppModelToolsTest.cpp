// SPDX-License-Identifier: GPL-3.0-or-later

#include "ModelTestSupport.h"

namespace tarvo::test {
namespace {

using app::AppModel;
using engine::ArchiveFormat;
namespace fs = std::filesystem;

TEST_F(ModelTest, SevenZipInstallationThroughHomebrew)
{
    auto model = makeModel();
    if (model->tools().brew) {
        GTEST_SKIP() << "Homebrew is installed here";
    }
    // No brew: the message at once, and no installation ever starts.
    QSignalSpy installing(model.get(), &AppModel::isInstallingToolsChanged);
    model->installToolsFor(ArchiveFormat::sevenZip);
    EXPECT_EQ(installing.count(), 0);
    ASSERT_TRUE(alertText(*model));
    EXPECT_TRUE(alertText(*model)->startsWith(QStringLiteral("Homebrew was not found.")));
    EXPECT_FALSE(model->alert()->offersRarInstall);
    model->dismissAlert();

    // A brew that puts 7zz into a searched folder; a second click while it runs is ignored.
    fs::create_directories(toolDirectory());
    const fs::path calls = installFakeTool("installing-brew", toolDirectory() / "brew").string() + ".calls";
    model = makeModel();
    ASSERT_TRUE(model->tools().brew);
    model->installToolsFor(ArchiveFormat::sevenZip);
    EXPECT_TRUE(model->isInstallingTools());
    model->installToolsFor(ArchiveFormat::sevenZip);
    model->installToolsFor(ArchiveFormat::rar);
    ASSERT_TRUE(spinUntil([&] { return !model->isInstallingTools(); }));
    EXPECT_EQ(readFile(calls), "install sevenzip\n");
    EXPECT_EQ(model->tools().sevenZip, toolDirectory() / "7zz");
    EXPECT_FALSE(alertText(*model));

    // A failing brew: its output in the alert, the tools as they were.
    writeScript(toolDirectory() / "brew", "echo 'Error: sevenzip: no bottle available!' >&2\nexit 1\n");
    const auto before = model->tools();
    model->installToolsFor(ArchiveFormat::sevenZip);
    ASSERT_TRUE(spinUntil([&] { return !model->isInstallingTools(); }));
    ASSERT_TRUE(alertText(*model));
    EXPECT_TRUE(alertText(*model)->contains(QStringLiteral("no bottle available"))) << alertText(*model)->toStdString();
    EXPECT_EQ(model->tools(), before);
}

TEST_F(ModelTest, RarInstallationFailureReachesTheAlert)
{
    // Nothing listens on port 9 of this machine.
    ScopedEnv site("TARVO_RARLAB_URL", std::string("http://127.0.0.1:9"));
    auto model = makeModel();
    const auto before = model->tools();
    model->installToolsFor(ArchiveFormat::rar);
    EXPECT_TRUE(model->isInstallingTools());
    ASSERT_TRUE(spinUntil([&] { return !model->isInstallingTools(); }, 30000));
    ASSERT_TRUE(alertText(*model));
    EXPECT_FALSE(alertText(*model)->isEmpty());
    EXPECT_FALSE(model->alert()->offersRarInstall);
    EXPECT_EQ(model->tools(), before);
    EXPECT_FALSE(fs::exists(toolDirectory() / "rar"));
}

} // namespace
} // namespace tarvo::test
