// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/SelfTest.h"

#include "TestSupport.h"
#include "engine/l10n/Catalog.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace tarvo::engine;
using namespace tarvo::test;

TEST(SelfTest, PassesOnThisMachineAndCleansUp)
{
    TARVO_SKIP_WITHOUT("zip", "unzip", "bsdtar");
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    std::ostringstream log;
    EXPECT_TRUE(SelfTest::run(log)) << log.str();
    EXPECT_EQ(log.str().find("error"), std::string::npos) << log.str();
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path())) << "a working folder was left behind";
}

TEST(SelfTest, FailuresNameTheirCheck)
{
    TempDir tmp;
    ScopedEnv env("TMPDIR", tmp.path().string());
    // A table whose German "Language" is wrong fails first, before any folder is made.
    std::ostringstream log;
    const auto broken = [](std::string_view key, AppLanguage language) {
        return language == AppLanguage::german && key == "Language" ? std::string("Language")
                                                                    : std::string(Catalog::text(key, language));
    };
    EXPECT_FALSE(SelfTest::run(log, broken));
    EXPECT_EQ(log.str(), "de mismatch\n");
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));

    // A temporary folder that cannot be used is an error line.
    ScopedEnv missing("TMPDIR", (tmp.path() / "file").string());
    writeFile(tmp.path() / "file", "not a folder");
    std::ostringstream second;
    EXPECT_FALSE(SelfTest::run(second));
    EXPECT_TRUE(second.str().starts_with("SELFTEST error: ")) << second.str();
}
