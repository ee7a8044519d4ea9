// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/tools/ToolLocator.h"

#include "TestSupport.h"
#include "engine/util/AppPaths.h"

#include <gtest/gtest.h>
#include <unistd.h>

using namespace tarvo::engine;
using namespace tarvo::test;

namespace {

class ToolLocatorTest : public ::testing::Test
{
protected:
    TempDir dir;
    ScopedEnv data{"XDG_DATA_HOME", (dir / "data").string()};
    std::filesystem::path tools = dir / "data" / "Tarvo" / "bin";
};

} // namespace

TEST_F(ToolLocatorTest, ApplicationFoldersFollowTheBaseDirectoryRules)
{
    EXPECT_EQ(AppPaths::toolDirectory(), tools);
    EXPECT_EQ(ToolLocator::searchFolders().front(), tools);
    {
        ScopedEnv relative("XDG_DATA_HOME", "relative/data");
        ScopedEnv home("HOME", dir.path().string());
        EXPECT_EQ(AppPaths::supportDirectory(), dir / ".local/share/Tarvo");
    }
    ScopedEnv unset("XDG_DATA_HOME", std::nullopt);
    ScopedEnv home("HOME", "/home/someone");
    EXPECT_EQ(AppPaths::toolDirectory(), "/home/someone/.local/share/Tarvo/bin");
}

TEST_F(ToolLocatorTest, TheToolFolderThenThePathNeitherDotNorWhatCannotRun)
{
    writeScript(tools / "rar", "exit 0");
    EXPECT_EQ(ToolLocator::executable("rar"), tools / "rar");
    EXPECT_EQ(ToolLocator::rarSupport().creator, tools / "rar");

    // A plain file of the tool's name does not stop the search.
    writeFile(tools / "lsar", "not a program");
    EXPECT_EQ(ToolLocator::executable("lsar"), systemTool("lsar"));
    // A folder of the tool's name is not a tool either.
    std::filesystem::create_directories(tools / "tarvo-no-such-tool");
    EXPECT_EQ(ToolLocator::executable("tarvo-no-such-tool"), std::nullopt);

    // The PATH is searched through.
    const auto elsewhere = dir / "elsewhere";
    writeScript(elsewhere / "tarvo-only-on-path", "exit 0");
    {
        ScopedEnv path("PATH", elsewhere.string() + ":/usr/bin:/bin");
        EXPECT_EQ(ToolLocator::executable("tarvo-only-on-path"), elsewhere / "tarvo-only-on-path");
    }
    ScopedEnv path("PATH", "/usr/bin:/bin");
    EXPECT_EQ(ToolLocator::executable("tarvo-only-on-path"), std::nullopt);

    // "." on the search path would name a file in whatever folder a tool is later started in.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere);
    ScopedEnv dotted("PATH", ".:/usr/bin:/bin");
    EXPECT_EQ(ToolLocator::executable("tarvo-only-on-path"), std::nullopt);
    std::filesystem::current_path(previous);
}

TEST_F(ToolLocatorTest, OnlyToolsNobodyElseCanChange)
{
    const auto tool = writeScript(tools / "tarvo-test-tool", "exit 0");
    EXPECT_EQ(ToolLocator::executable("tarvo-test-tool"), tool);
    // A folder or a file that others may write to, also reached through a link.
    std::filesystem::create_directory_symlink(tools, dir / "linked");
    const ScopedEnv path("PATH", (dir / "linked").string() + ":/usr/bin:/bin");
    for (const auto& item : {tools, tool}) {
        for (const auto bit : {std::filesystem::perms::group_write, std::filesystem::perms::others_write}) {
            std::filesystem::permissions(item, bit, std::filesystem::perm_options::add);
            EXPECT_EQ(ToolLocator::executable("tarvo-test-tool"), std::nullopt) << item;
            std::filesystem::permissions(item, bit, std::filesystem::perm_options::remove);
        }
    }
    EXPECT_EQ(ToolLocator::executable("tarvo-test-tool"), tool);
    // A folder of another account: a tool planted there would run as this user.
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can give a folder to another account";
    }
    ASSERT_EQ(::chown(tools.c_str(), 65534, 65534), 0);
    EXPECT_EQ(ToolLocator::executable("tarvo-test-tool"), std::nullopt);
    ASSERT_EQ(::chown(tools.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0); // a folder above, which its owner could swap
    EXPECT_EQ(ToolLocator::executable("tarvo-test-tool"), std::nullopt);
    ASSERT_EQ(::chown(dir.path().c_str(), 0, 0), 0);
}

TEST_F(ToolLocatorTest, UnrarFreeIsPassedOverForUnar)
{
    // Debian's unrar is often a link to unrar-free, which cannot decrypt and misreports failures.
    const auto free = writeScript(dir / "bin" / "unrar-free", "exit 1");
    std::filesystem::create_directories(tools);
    std::filesystem::create_symlink(free, tools / "unrar");
    writeScript(tools / "unar", "exit 0");
    const RarSupport support = ToolLocator::rarSupport();
    if (std::filesystem::exists("/usr/bin/unrar") &&
        std::filesystem::canonical("/usr/bin/unrar").filename() != "unrar-free") {
        GTEST_SKIP() << "a real unrar is installed";
    }
    EXPECT_EQ(support.extractor, tools / "unar");
    EXPECT_EQ(support.unar, tools / "unar");

    // RARLAB's unrar, once installed, is taken.
    std::filesystem::remove(tools / "unrar");
    writeScript(tools / "unrar", "exit 0");
    EXPECT_EQ(ToolLocator::rarSupport().extractor, tools / "unrar");
}

TEST_F(ToolLocatorTest, SevenZipPrefers7zzAndTarPrefersBsdtar)
{
    writeScript(tools / "7z", "exit 0");
    EXPECT_EQ(ToolLocator::rarSupport().sevenZip, ToolLocator::executable("7zz").value_or(tools / "7z"));
    writeScript(tools / "7zz", "exit 0");
    EXPECT_EQ(ToolLocator::rarSupport().sevenZip, tools / "7zz");

    const auto tar = ToolLocator::systemTar();
    ASSERT_TRUE(tar.has_value());
    EXPECT_EQ(tar->isBsdtar, std::filesystem::exists("/usr/bin/bsdtar"));
}
