#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

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

// A program run from its build tree finds its sources' skin through the tree's
// cache; one outside a build tree (installed) knows no source folder at all.
TEST_F(SkinPathTest, TheSourceTreeIsFoundFromTheBuildTreeOnly) {
    fs::create_directories(m_root / "src" / "resources" / "img");
    fs::create_directories(m_root / "out" / "app");
    fs::create_directories(m_root / "usr" / "bin");
    std::ofstream(m_root / "out" / "CMakeCache.txt")
        << "# a comment\nCMAKE_BUILD_TYPE:STRING=Debug\nOrvandel_SOURCE_DIR:STATIC="
        << (m_root / "src").string() << "\n";
    EXPECT_EQ(orvandel::BuildTreeSourceResources(m_root / "out" / "app" / "orvandel"),
              m_root / "src" / "resources");
    EXPECT_TRUE(orvandel::BuildTreeSourceResources(m_root / "usr" / "bin" / "orvandel").empty());
    EXPECT_TRUE(orvandel::BuildTreeSourceResources("orvandel").empty());
    // A cache that names another project, or a source folder without resources.
    std::ofstream(m_root / "usr" / "CMakeCache.txt") << "Other_SOURCE_DIR:STATIC=/\n";
    EXPECT_TRUE(orvandel::BuildTreeSourceResources(m_root / "usr" / "bin" / "orvandel").empty());
    fs::remove_all(m_root / "src" / "resources");
    EXPECT_TRUE(orvandel::BuildTreeSourceResources(m_root / "out" / "app" / "orvandel").empty());

    // This test program lies in a build tree: without the environment it finds the skin.
    unsetenv("ORVANDEL_SOURCE_RESOURCES");
    EXPECT_FALSE(ResolveSkinPath(u"img\\finder_win_icon_ok.png").empty());
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
