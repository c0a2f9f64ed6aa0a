// The settings file: the exact line written, the tolerant reader, and writes that
// fail silently or fall back when the folder refuses new files.
#include "localization/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <sstream>

#include "localization/ui_strings.h"
#include "temp_dir.h"

namespace orvandel {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

TEST(SettingsFile, MissingFileIsCreatedWithTheTwelveEnglishBytes) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(kJapanese);
    std::filesystem::remove(dir / "setting.cfg");

    strings.LoadSettings();

    const std::string expected{'L', 'A', 'N', 'G', 'U', 'A', 'G', 'E', 0x09, '9', 0x0D, 0x0A};
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), expected);
    EXPECT_EQ(strings.Language(), kEnglish);
}

TEST(SettingsFile, WrittenLinesAreExactBytes) {
    EXPECT_EQ(FormatLanguageLine(31748), "LANGUAGE\t31748\r\n");
    EXPECT_EQ(FormatLanguageLine(-9), "LANGUAGE\t-9\r\n");
    EXPECT_EQ(FormatLanguageLine(INT32_MIN), "LANGUAGE\t-2147483648\r\n");
}

struct ReadCase {
    const char* name;
    std::string content;
    LanguageId before;  // the language current when the file is read
    LanguageId after;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsRead : public ::testing::TestWithParam<ReadCase> {};

// Reads the file the way start-up does (LoadSettings, then SetLanguage with the
// result), so each row also checks that the file comes back normalised.
TEST_P(SettingsRead, LoadThenApply) {
    const ReadCase& c = GetParam();
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(c.before);
    WriteBytes(dir / "setting.cfg", c.content);

    strings.LoadSettings();
    EXPECT_EQ(strings.Language(), c.after);

    strings.SetLanguage(strings.Language());
    EXPECT_EQ(ReadBytes(dir / "setting.cfg"), "LANGUAGE\t" + std::to_string(c.after) + "\r\n");
}

const ReadCase kReadCases[] = {
    {"NoLineEnd", "LANGUAGE\t31748", kEnglish, kTraditionalChinese},
    {"WordsAroundAndSpaces", "some words LANGUAGE     17 and more words\r\n", kEnglish, kJapanese},
    {"LowerCaseKey", "language\t4\r\n", kEnglish, kEnglish},
    {"EqualsSign", "LANGUAGE=17\r\n", kEnglish, kEnglish},
    {"LettersAfterDigits", "LANGUAGE\t4abc\r\n", kEnglish, kSimplifiedChinese},
    {"FirstOfTwoKeyLines", "LANGUAGE\t4\r\nLANGUAGE\t17\r\n", kEnglish, kSimplifiedChinese},
    {"UnknownFive", "LANGUAGE\t5\r\n", kEnglish, 5},
    {"MinusNine", "LANGUAGE\t-9\r\n", kEnglish, -9},
    {"PlusSign", "LANGUAGE +17", kEnglish, kJapanese},
    {"AllWhiteSpaceKinds", "\v\fLANGUAGE\r\n\t \v\f17", kEnglish, kJapanese},
    {"WordValueKeepsCurrent", "LANGUAGE\tjapanese\r\n", kJapanese, kJapanese},
    {"TooLargeKeepsCurrent", "LANGUAGE\t99999999999\r\n", kJapanese, kJapanese},
    {"JustAboveInt32KeepsCurrent", "LANGUAGE 2147483648", kSimplifiedChinese, kSimplifiedChinese},
    {"Int32Max", "LANGUAGE 2147483647", kEnglish, INT32_MAX},
    {"Int32Min", "LANGUAGE -2147483648", kEnglish, INT32_MIN},
    {"ManyLeadingZeros", "LANGUAGE " + std::string(100, '0') + "17", kEnglish, kJapanese},
    {"SignOnlyKeepsCurrent", "LANGUAGE -", kJapanese, kJapanese},
    {"KeyIsLastToken", "words LANGUAGE\r\n", kJapanese, kJapanese},
    {"BadValueEndsReading", "LANGUAGE x LANGUAGE 4", kJapanese, kJapanese},
    {"EmptyFile", "", kJapanese, kJapanese},
    {"KeyWithNulIsNotTheKey", std::string("LANGUAGE\0 17", 12), kJapanese, kJapanese},
    {"KeyInsideLongerToken", "XLANGUAGE 4 LANGUAGES 17", kJapanese, kJapanese},
    {"KeyNearTheReadLimit", std::string(kMaxSettingsBytes - 12, ' ') + "LANGUAGE 4\r\n", kEnglish,
     kSimplifiedChinese},
    {"KeyPastTheReadLimitKeepsCurrent", std::string(kMaxSettingsBytes, ' ') + "LANGUAGE 4",
     kJapanese, kJapanese},
};

INSTANTIATE_TEST_SUITE_P(Rows, SettingsRead, ::testing::ValuesIn(kReadCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsFile, StreamAndTextReadersAgree) {
    for (const ReadCase& c : kReadCases) {
        std::istringstream in(c.content);
        EXPECT_EQ(ParseLanguageSetting(in), ParseLanguageSetting(c.content)) << c.name;
    }
}

class SettingsRoundTrip : public ::testing::TestWithParam<LanguageId> {};

TEST_P(SettingsRoundTrip, SavedIdReadsBackInANewObject) {
    TempDir dir;
    UiStrings writer(dir / "setting.cfg");
    writer.SaveLanguage(GetParam());
    EXPECT_EQ(writer.Language(), kEnglish) << "saving must not switch the language";

    UiStrings reader(dir / "setting.cfg");
    reader.LoadSettings();
    EXPECT_EQ(reader.Language(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Ids, SettingsRoundTrip,
                         ::testing::Values(kEnglish, kSimplifiedChinese, kTraditionalChinese,
                                           kJapanese, 5, -9, 0, INT32_MIN, INT32_MAX));

TEST(SettingsFile, SavingLeavesNoTemporaryFilesBehind) {
    TempDir dir;
    UiStrings strings(dir / "setting.cfg");
    for (LanguageId id : {kJapanese, kEnglish, kTraditionalChinese}) {
        strings.SetLanguage(id);
    }
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"setting.cfg"});
}

TEST(SettingsFile, SymbolicLinkStaysALinkAndItsTargetIsWritten) {
    TempDir dir;
    WriteBytes(dir / "real.cfg", "LANGUAGE\t9\r\n");
    std::filesystem::create_symlink(dir / "real.cfg", dir / "setting.cfg");

    UiStrings strings(dir / "setting.cfg");
    strings.SaveLanguage(kJapanese);

    EXPECT_TRUE(std::filesystem::is_symlink(dir / "setting.cfg"));
    EXPECT_EQ(ReadBytes(dir / "real.cfg"), "LANGUAGE\t17\r\n");
}

// A pipe under the settings name would block an open for reading until some
// writer came along; it is neither read nor replaced.
TEST(SettingsFile, PipeUnderTheSettingsNameIsLeftAlone) {
    TempDir dir;
    const auto path = dir / "setting.cfg";
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    UiStrings strings(path);
    strings.SetLanguage(kJapanese);
    strings.LoadSettings();
    EXPECT_EQ(strings.Language(), kJapanese);
    EXPECT_EQ(std::filesystem::status(path).type(), std::filesystem::file_type::fifo);
}

// A path below a regular file can never be created, not even by root.
TEST(SettingsFile, UnwritableLocationFailsSilentlyAndTheSwitchStillWorks) {
    TempDir dir;
    WriteBytes(dir / "plain-file", "x");
    const auto path = dir / "plain-file" / "setting.cfg";
    UiStrings strings(path);

    strings.LoadSettings();
    EXPECT_EQ(strings.Language(), kEnglish);

    strings.SetLanguage(kJapanese);
    EXPECT_EQ(strings.Language(), kJapanese);
    EXPECT_EQ(strings.MenuLanguage, u"言語");
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadBytes(dir / "plain-file"), "x");
}

TEST(SettingsFile, UnwritableFileInUnwritableFolderIsLeftAsItWas) {
    TempDir dir;
    std::filesystem::create_directory(dir / "setting.cfg");  // cannot be replaced by a file
    UiStrings strings(dir / "setting.cfg");
    strings.SetLanguage(kJapanese);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "setting.cfg"));
    EXPECT_EQ(strings.Language(), kJapanese);
}

// A folder that refuses new files but holds a writable setting.cfg: the file is
// rewritten in place. Root ignores permission bits, so a child process drops to
// an unprivileged user first.
TEST(SettingsFile, ReadOnlyFolderWithWritableFileIsWrittenInPlace) {
    TempDir dir;
    const auto folder = dir / "locked";
    std::filesystem::create_directory(folder);
    WriteBytes(folder / "setting.cfg", "LANGUAGE\t9\r\n");
    ASSERT_EQ(::chmod((folder / "setting.cfg").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);

    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        ASSERT_FALSE(ReplaceFileContents(folder / "probe", "x")) << "folder still writable";
        ReplaceFileContents(folder / "setting.cfg", FormatLanguageLine(kJapanese));
        ::chmod(folder.c_str(), 0755);
    } else {
        ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) {
                ::_exit(2);
            }
            if (ReplaceFileContents(folder / "probe", "x")) {
                ::_exit(3);  // the folder still takes new files: the test proves nothing
            }
            ::_exit(ReplaceFileContents(folder / "setting.cfg", FormatLanguageLine(kJapanese)) ? 0
                                                                                               : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::chmod(folder.c_str(), 0755);
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0) << "1: write failed, 2: setuid failed, 3: folder open";
    }
    EXPECT_EQ(ReadBytes(folder / "setting.cfg"), "LANGUAGE\t17\r\n");
}

}  // namespace
}  // namespace orvandel
