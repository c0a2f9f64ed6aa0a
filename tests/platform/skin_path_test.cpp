#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string_view>

#include "build_config.h"
#include "platform/skin_path.h"

namespace fs = std::filesystem;
using orvandel::ResolveSkinPath;

namespace {

// A scratch folder that is also the working directory for the test's duration.
class SkinPathTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_old_cwd = fs::current_path();
        m_root =
            fs::temp_directory_path() /
            ("orvandel-skin-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_root);
        fs::create_directories(m_root / "cwd" / "img");
        fs::create_directories(m_root / "env" / "img");
        fs::current_path(m_root / "cwd");
        if (const char* env = std::getenv("ORVANDEL_SOURCE_RESOURCES")) {
            m_old_env = env;
            m_had_env = true;
        }
    }
    void TearDown() override {
        fs::current_path(m_old_cwd);
        fs::remove_all(m_root);
        if (m_had_env) {
            setenv("ORVANDEL_SOURCE_RESOURCES", m_old_env.c_str(), 1);
        } else {
            unsetenv("ORVANDEL_SOURCE_RESOURCES");
        }
    }
    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

    fs::path m_root, m_old_cwd;
    std::string m_old_env;
    bool m_had_env = false;
};

TEST_F(SkinPathTest, WorkingDirectoryComesFirstAndBackslashesAreSeparators) {
    Touch(m_root / "cwd" / "img" / "a.png");
    Touch(m_root / "env" / "img" / "a.png");
    setenv("ORVANDEL_SOURCE_RESOURCES", (m_root / "env").c_str(), 1);
    const fs::path found = ResolveSkinPath(u"img\\a.png");
    EXPECT_EQ(fs::weakly_canonical(found), fs::weakly_canonical(m_root / "cwd" / "img" / "a.png"));
}

TEST_F(SkinPathTest, FallsBackToTheResourcesFolder) {
    Touch(m_root / "env" / "img" / "only-here.png");
    setenv("ORVANDEL_SOURCE_RESOURCES", (m_root / "env").c_str(), 1);
    EXPECT_EQ(ResolveSkinPath(u"img\\only-here.png"), m_root / "env" / "img" / "only-here.png");
}

// A development build finds the source tree's skin by itself; a build for the
// packages knows no source folder at all.
TEST_F(SkinPathTest, TheSourceTreeSkinIsFoundWithoutEnvironmentInDevelopmentBuildsOnly) {
    unsetenv("ORVANDEL_SOURCE_RESOURCES");
    const bool found = !ResolveSkinPath(u"img\\finder_win_icon_ok.png").empty();
    if (!std::string_view(ORVANDEL_SOURCE_RESOURCES).empty()) {
        EXPECT_TRUE(found);
    } else if (fs::exists(fs::path(ORVANDEL_DATA_DIR) / "img" / "finder_win_icon_ok.png")) {
        GTEST_SKIP() << "the skin is installed in " << ORVANDEL_DATA_DIR;
    } else {
        EXPECT_FALSE(found);
    }
}

TEST_F(SkinPathTest, MissingDirectoryAndEmptyGiveEmpty) {
    setenv("ORVANDEL_SOURCE_RESOURCES", (m_root / "env").c_str(), 1);
    EXPECT_TRUE(ResolveSkinPath(u"img\\nothing.png").empty());
    EXPECT_TRUE(ResolveSkinPath(u"img").empty());  // a folder is not a skin file
    EXPECT_TRUE(ResolveSkinPath(u"").empty());
    EXPECT_TRUE(ResolveSkinPath(std::u16string(1, char16_t{0xD800}) + u".png").empty());
}

TEST_F(SkinPathTest, AbsolutePathIsTakenAsIs) {
    Touch(m_root / "abs.png");
    const std::u16string abs = (m_root / "abs.png").u16string();
    EXPECT_EQ(ResolveSkinPath(abs), m_root / "abs.png");
}

}  // namespace
