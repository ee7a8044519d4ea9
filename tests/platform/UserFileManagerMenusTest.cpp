// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/freedesktop/UserFileManagerMenus.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace tarvo::test {
namespace {

namespace fs = std::filesystem;

TEST(UserFileManagerMenus, WritesDolphinAndNemoEntriesCallingTheHelperOrSaysWhyNot)
{
    TempDir data;
    ScopedEnv dataHome("XDG_DATA_HOME", data.path().string());
    platform::UserFileManagerMenus menus;
    {
        // Neither beside the test nor on the PATH.
        ScopedEnv path("PATH", "/nonexistent");
        EXPECT_EQ(menus.addForUser(), "tarvo-finder: No such file or directory");
    }
    EXPECT_FALSE(fs::exists(data / "kio"));

    ScopedEnv path("PATH", std::string(TARVO_BUILD_DIR) + ":/usr/bin:/bin");
    EXPECT_EQ(menus.addForUser(), std::nullopt);
    const fs::path menu = data / "kio/servicemenus/com.tarvo.extract.desktop";
    EXPECT_NE(readFile(menu).find(std::string(TARVO_BUILD_DIR) + "/tarvo-finder extract %F"), std::string::npos);
}

} // namespace
} // namespace tarvo::test
