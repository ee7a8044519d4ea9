// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/util/ScratchSpace.h"

#include "TestSupport.h"

#include <memory>

namespace tarvo::test {
namespace {

using engine::ScratchSpace;
namespace fs = std::filesystem;

TEST(ScratchSpace, ASweepTakesOnlyTheFoldersOfRunsThatEnded)
{
    TempDir temp;
    const fs::path root = temp / "drag";
    auto running = std::make_unique<ScratchSpace>(root);
    const fs::path inUse = running->makeFolder();
    writeFile(inUse / "copying.txt", "x");
    EXPECT_EQ(fs::status(inUse).permissions() & fs::perms::all, fs::perms::owner_all);
    EXPECT_EQ(fs::status(inUse.parent_path()).permissions() & fs::perms::all, fs::perms::owner_all);
    // A run that ended without cleaning up; a link of a run's name and a folder of another name.
    writeFile(root / "run-ended/left.txt", "x");
    writeFile(temp / "elsewhere/keep.txt", "x");
    fs::create_directory_symlink(temp / "elsewhere", root / "run-link");
    writeFile(root / "other/keep.txt", "x");

    ScratchSpace::sweep(root);
    EXPECT_FALSE(fs::exists(root / "run-ended"));
    EXPECT_TRUE(fs::exists(inUse / "copying.txt"));
    EXPECT_TRUE(fs::exists(temp / "elsewhere/keep.txt"));
    EXPECT_TRUE(fs::exists(root / "other/keep.txt"));

    // Another running process gets a run folder of its own; each takes only its own away.
    const fs::path run = inUse.parent_path();
    auto other = std::make_unique<ScratchSpace>(root);
    const fs::path otherRun = other->makeFolder().parent_path();
    EXPECT_NE(otherRun, run);
    running.reset();
    EXPECT_FALSE(fs::exists(run));
    EXPECT_TRUE(fs::exists(otherRun));
}

} // namespace
} // namespace tarvo::test
