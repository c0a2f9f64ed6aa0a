// The settings file: the exact line written, the tolerant reader, and writes that
// fail silently, keep the file's mode, owner and links, and never take over a
// file or a link that is not the user's.
#include "localization/settings_file.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>

#include "localization/ui_strings.h"
#include "temp_dir.h"
#include "unprivileged.h"

namespace orvandel {
namespace {

using test::kDropFailed;
using test::kStillPrivileged;
using test::ReadBytes;
using test::RunAs;
using test::TempDir;
using test::UnprivilegedUser;
using test::User;
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
    // "317" lies before the limit and "48" after it: the cut value is not a value.
    {"ValueCutByTheReadLimitKeepsCurrent",
     std::string(kMaxSettingsBytes - 12, ' ') + "LANGUAGE\t31748", kJapanese, kJapanese},
    {"ValueEndingAtTheReadLimit", std::string(kMaxSettingsBytes - 14, ' ') + "LANGUAGE\t31748\r\n",
     kEnglish, kTraditionalChinese},
    {"ValueEndingTheFileAtTheReadLimit",
     std::string(kMaxSettingsBytes - 14, ' ') + "LANGUAGE\t31748", kEnglish, kTraditionalChinese},
    {"LettersAfterTheValueCutByTheReadLimitKeepCurrent",
     std::string(kMaxSettingsBytes - 12, ' ') + "LANGUAGE 4abcdef", kJapanese, kJapanese},
    {"KeyCutByTheReadLimitKeepsCurrent", std::string(kMaxSettingsBytes - 8, ' ') + "LANGUAGES 4",
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

// What a file looked like: enough to tell that nothing replaced, rewrote or
// re-owned it (for a link, its own inode and the text it holds).
struct FileState {
    dev_t dev = 0;
    ino_t ino = 0;
    mode_t mode = 0;
    uid_t uid = 0;
    gid_t gid = 0;
    nlink_t links = 0;
    long long mtime_ns = 0;
    std::string content;
    bool operator==(const FileState&) const = default;
};

std::ostream& operator<<(std::ostream& os, const FileState& s) {
    return os << "{ino " << s.ino << ", mode " << std::oct << s.mode << std::dec << ", " << s.uid
              << ":" << s.gid << ", links " << s.links << ", \"" << s.content << "\"}";
}

std::optional<FileState> StateOf(const std::filesystem::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return std::nullopt;
    }
    FileState state{st.st_dev,
                    st.st_ino,
                    st.st_mode,
                    st.st_uid,
                    st.st_gid,
                    st.st_nlink,
                    st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec,
                    {}};
    if (S_ISLNK(st.st_mode)) {
        state.content = std::filesystem::read_symlink(path).string();
    } else if (S_ISREG(st.st_mode)) {
        state.content = ReadBytes(path);
    }
    return state;
}

// Every entry below `root`, by relative name; the folders themselves included.
std::map<std::string, FileState> TreeOf(const std::filesystem::path& root) {
    std::map<std::string, FileState> tree;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        tree[std::filesystem::relative(entry.path(), root).string()] = *StateOf(entry.path());
    }
    return tree;
}

const std::string kOldLine = FormatLanguageLine(kTraditionalChinese);
const std::string kNewLine = FormatLanguageLine(kJapanese);

// Files of nobody and of root in a folder nobody owns ("home", the working folder
// of a user), written by a child process that runs as nobody.
class AsUser : public ::testing::Test {
public:
    enum class Owner { kUser, kRoot };

    std::filesystem::path Home(const std::string& name) const { return m_home / name; }

    void Own(const std::filesystem::path& path, Owner owner, gid_t group) const {
        const uid_t uid = owner == Owner::kUser ? m_user.uid : 0;
        ASSERT_EQ(::lchown(path.c_str(), uid, group), 0) << path;
    }
    void Own(const std::filesystem::path& path, Owner owner) const {
        Own(path, owner, owner == Owner::kUser ? m_user.gid : 0);
    }

    std::filesystem::path File(const std::string& name, mode_t mode, Owner owner) const {
        const auto path = Home(name);
        WriteBytes(path, kOldLine);
        Own(path, owner);
        EXPECT_EQ(::chmod(path.c_str(), mode), 0);
        return path;
    }

    std::filesystem::path Link(const std::string& name, const std::string& to, Owner owner) const {
        const auto path = Home(name);
        std::filesystem::create_symlink(to, path);
        Own(path, owner);
        return path;
    }

    // ReplaceFileContents as the user; its result.
    bool WriteAsUser(const std::filesystem::path& path, const std::string& bytes) const {
        const int code = RunAs(m_user, [&] { return ReplaceFileContents(path, bytes) ? 0 : 1; });
        EXPECT_TRUE(code == 0 || code == 1) << "the child ended with " << code;
        return code == 0;
    }

    std::map<std::string, FileState> Tree() const { return TreeOf(m_dir.path()); }
    const User& user() const { return m_user; }

protected:
    void SetUp() override {
        std::string why;
        const auto user = UnprivilegedUser(why);
        if (!user) {
            GTEST_SKIP() << why;
        }
        m_user = *user;
        ASSERT_EQ(::chmod(m_dir.path().c_str(), 0755), 0);
        const int drop = RunAs(m_user, [] { return 0; });
        if (drop == kDropFailed || drop == kStillPrivileged) {
            GTEST_SKIP() << "cannot drop to nobody here (exit " << drop << ")";
        }
        ASSERT_EQ(drop, 0);
        m_home = m_dir / "home";
        std::filesystem::create_directory(m_home);
        Own(m_home, Owner::kUser);
        ASSERT_EQ(::chmod(m_home.c_str(), 0755), 0);
    }

    TempDir m_dir;
    std::filesystem::path m_home;
    User m_user{};
};

using Owner = AsUser::Owner;

struct RefusalCase {
    const char* name;
    void (*set_up)(const AsUser&);  // makes Home("setting.cfg") and what it may point to
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.name;
}

class Refusal : public AsUser, public ::testing::WithParamInterface<RefusalCase> {};

// A file the user may not write, or a link the user did not make, stays exactly as
// it was, although the folder would let the user replace it; nothing else appears.
TEST_P(Refusal, NothingInTheFolderChanges) {
    GetParam().set_up(*this);
    const auto before = Tree();

    EXPECT_FALSE(WriteAsUser(Home("setting.cfg"), kNewLine));
    EXPECT_EQ(Tree(), before);
}

const RefusalCase kRefusals[] = {
    {"ReadOnlyFile", [](const AsUser& f) { f.File("setting.cfg", 0444, Owner::kUser); }},
    {"ModeZeroFile", [](const AsUser& f) { f.File("setting.cfg", 0000, Owner::kUser); }},
    {"RootsFileInTheUsersFolder",
     [](const AsUser& f) { f.File("setting.cfg", 0644, Owner::kRoot); }},
    {"OwnLinkToAReadOnlyFile",
     [](const AsUser& f) {
         f.File("target.cfg", 0444, Owner::kUser);
         f.Link("setting.cfg", "target.cfg", Owner::kUser);
     }},
    {"RootsLinkToAFileTheUserMayWrite",
     [](const AsUser& f) {
         f.File("target.cfg", 0666, Owner::kUser);
         f.Link("setting.cfg", "target.cfg", Owner::kRoot);
     }},
    {"RootsDanglingLink",
     [](const AsUser& f) { f.Link("setting.cfg", "missing.cfg", Owner::kRoot); }},
    {"OwnLinkToRootsLink",
     [](const AsUser& f) {
         f.File("target.cfg", 0666, Owner::kUser);
         f.Link("middle", "target.cfg", Owner::kRoot);
         f.Link("setting.cfg", "middle", Owner::kUser);
     }},
    {"OwnLinkToAPipe",
     [](const AsUser& f) {
         ASSERT_EQ(::mkfifo(f.Home("pipe").c_str(), 0666), 0);
         f.Own(f.Home("pipe"), Owner::kUser);
         f.Link("setting.cfg", "pipe", Owner::kUser);
     }},
};

INSTANTIATE_TEST_SUITE_P(Rows, Refusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

struct RewriteCase {
    const char* name;
    mode_t mode;
    Owner owner;
    bool root_group;  // a group the user is not a member of
    bool second_name;
    bool same_inode;  // the new contents can only go into the old file
};

void PrintTo(const RewriteCase& c, std::ostream* os) {
    *os << c.name;
}

class Rewrite : public AsUser, public ::testing::WithParamInterface<RewriteCase> {};

// "Replaces the file's contents": mode, owner, group and links stay the file's.
TEST_P(Rewrite, KeepsModeOwnerAndLinks) {
    const RewriteCase& c = GetParam();
    const auto path = File("setting.cfg", c.mode, c.owner);
    if (c.root_group) {
        Own(path, c.owner, 0);
    }
    if (c.second_name) {
        std::filesystem::create_hard_link(path, Home("other-name.cfg"));
    }
    const FileState before = *StateOf(path);

    EXPECT_TRUE(WriteAsUser(path, kNewLine));

    const FileState after = *StateOf(path);
    EXPECT_EQ(after.content, kNewLine);
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.uid, before.uid);
    EXPECT_EQ(after.gid, before.gid);
    EXPECT_EQ(after.links, before.links);
    if (c.same_inode) {
        EXPECT_EQ(after.ino, before.ino);
    }
    if (c.second_name) {
        EXPECT_EQ(ReadBytes(Home("other-name.cfg")), kNewLine);
    }
    std::size_t entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Home(""))) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, c.second_name ? 2u : 1u) << "a temporary file was left behind";
}

const RewriteCase kRewrites[] = {
    {"Mode0600", 0600, Owner::kUser, false, false, false},
    {"Mode0664", 0664, Owner::kUser, false, false, false},
    {"Mode0640", 0640, Owner::kUser, false, false, false},
    {"Mode0644", 0644, Owner::kUser, false, false, false},
    {"RootsFileTheUserMayWrite", 0666, Owner::kRoot, false, false, true},
    {"GroupTheUserIsNotIn", 0664, Owner::kUser, true, false, true},
    {"SecondHardLink", 0644, Owner::kUser, false, true, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, Rewrite, ::testing::ValuesIn(kRewrites),
                         [](const auto& info) { return std::string(info.param.name); });

// An access list or label would not carry over to a new file.
TEST_F(AsUser, ExtendedAttributesStayWithTheFile) {
    const auto path = File("setting.cfg", 0644, Owner::kUser);
    if (::setxattr(path.c_str(), "user.orvandel", "x", 1, 0) != 0) {
        GTEST_SKIP() << "this file system keeps no user attributes";
    }
    const FileState before = *StateOf(path);

    EXPECT_TRUE(WriteAsUser(path, kNewLine));

    EXPECT_EQ(StateOf(path)->ino, before.ino);
    EXPECT_EQ(::getxattr(path.c_str(), "user.orvandel", nullptr, 0), 1);
    EXPECT_EQ(ReadBytes(path), kNewLine);
}

// A file others read at any moment (an export) is only ever replaced whole: with
// its mode, owner and attributes, parting from another hard link; and not at all
// when the new file could not be the old one's owner's or group's.
TEST_F(AsUser, AlwaysByRenameKeepsModeOwnerAndAttributesOrLeavesTheFile) {
    const auto own = File("own.prom", 0640, Owner::kUser);
    std::filesystem::create_hard_link(own, Home("other-name.prom"));
    const bool attributes = ::setxattr(own.c_str(), "user.orvandel", "x", 1, 0) == 0;
    const FileState before = *StateOf(own);
    File("roots.prom", 0666, Owner::kRoot);
    const auto foreign_group = File("group.prom", 0664, Owner::kUser);
    Own(foreign_group, Owner::kUser, 0);
    const auto others = [this] {
        auto tree = Tree();
        tree.erase("home/own.prom");
        tree.erase("home/other-name.prom");
        tree.erase("home");  // its times change with the rename
        return tree;
    };
    const auto others_before = others();

    const int code = RunAs(user(), [&] {
        const auto write = [](const std::filesystem::path& path) {
            return ReplaceFile(path, kNewLine, {.always_rename = true});
        };
        return (write(own) == ReplaceResult::kReplaced ? 0 : 1) +
               (write(Home("roots.prom")) == ReplaceResult::kFailed ? 0 : 2) +
               (write(foreign_group) == ReplaceResult::kFailed ? 0 : 4);
    });

    EXPECT_EQ(code, 0) << "1: own file not replaced, 2: root's, 4: the other group's replaced";
    const FileState after = *StateOf(own);
    EXPECT_EQ(after.content, kNewLine);
    EXPECT_NE(after.ino, before.ino);
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.uid, before.uid);
    EXPECT_EQ(after.gid, before.gid);
    EXPECT_EQ(after.links, 1u);
    if (attributes) {
        EXPECT_EQ(::getxattr(own.c_str(), "user.orvandel", nullptr, 0), 1);
    }
    EXPECT_EQ(ReadBytes(Home("other-name.prom")), kOldLine);
    EXPECT_EQ(others(), others_before);
}

TEST_F(AsUser, SymbolicLinkStaysALinkAndItsTargetIsWritten) {
    File("real.cfg", 0644, Owner::kUser);
    const auto link = Link("setting.cfg", Home("real.cfg").string(), Owner::kUser);
    const FileState before = *StateOf(link);

    EXPECT_TRUE(WriteAsUser(link, kNewLine));

    EXPECT_EQ(StateOf(link), before);
    EXPECT_EQ(ReadBytes(Home("real.cfg")), kNewLine);
}

// Each relative link is read from its own folder.
TEST_F(AsUser, ChainOfOwnRelativeLinksReachesItsTarget) {
    File("real.cfg", 0640, Owner::kUser);
    std::filesystem::create_directory(Home("sub"));
    Own(Home("sub"), Owner::kUser);
    Link("sub/next", "../real.cfg", Owner::kUser);
    const auto link = Link("setting.cfg", "sub/next", Owner::kUser);

    EXPECT_TRUE(WriteAsUser(link, kNewLine));

    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_TRUE(std::filesystem::is_symlink(Home("sub/next")));
    EXPECT_EQ(ReadBytes(Home("real.cfg")), kNewLine);
    EXPECT_EQ(StateOf(Home("real.cfg"))->mode & 07777, 0640u);
}

TEST_F(AsUser, OwnDanglingLinkIsWrittenThrough) {
    std::filesystem::create_directory(Home("store"));
    Own(Home("store"), Owner::kUser);
    const auto link = Link("setting.cfg", "store/setting.cfg", Owner::kUser);
    const FileState before = *StateOf(link);

    EXPECT_TRUE(WriteAsUser(link, kNewLine));

    EXPECT_EQ(StateOf(link), before);
    const auto target = StateOf(Home("store/setting.cfg"));
    ASSERT_TRUE(target);
    EXPECT_TRUE(S_ISREG(target->mode));
    EXPECT_EQ(target->content, kNewLine);
    EXPECT_EQ(target->uid, user().uid);
}

// The whole program path: the language still switches, the file stays as it was.
TEST_F(AsUser, LanguageSwitchWithAReadOnlyFileLeavesTheFile) {
    const auto path = File("setting.cfg", 0444, Owner::kUser);
    const auto before = Tree();

    const int code = RunAs(user(), [&] {
        UiStrings strings(path);
        strings.LoadSettings();
        if (strings.Language() != kTraditionalChinese) {
            return 1;
        }
        strings.SetLanguage(kJapanese);
        return strings.Language() == kJapanese && strings.MenuLanguage == u"言語" ? 0 : 2;
    });

    EXPECT_EQ(code, 0) << "1: the file was not read, 2: the switch failed";
    EXPECT_EQ(Tree(), before);
}

// A folder that refuses new files but holds a writable setting.cfg: the file is
// rewritten in place.
TEST_F(AsUser, ReadOnlyFolderWithWritableFileIsWrittenInPlace) {
    const auto folder = Home("locked");
    std::filesystem::create_directory(folder);
    WriteBytes(folder / "setting.cfg", "LANGUAGE\t9\r\n");
    ASSERT_EQ(::chmod((folder / "setting.cfg").c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);  // root's folder: nobody may not add files
    const FileState before = *StateOf(folder / "setting.cfg");

    const int code = RunAs(user(), [&] {
        if (ReplaceFileContents(folder / "probe", "x")) {
            return 3;  // the folder still takes new files: the test proves nothing
        }
        return ReplaceFileContents(folder / "setting.cfg", FormatLanguageLine(kJapanese)) ? 0 : 1;
    });

    ASSERT_EQ(code, 0) << "1: write failed, 3: folder open";
    const FileState after = *StateOf(folder / "setting.cfg");
    EXPECT_EQ(after.content, "LANGUAGE\t17\r\n");
    EXPECT_EQ(after.ino, before.ino);
    EXPECT_EQ(after.mode, before.mode);
    EXPECT_EQ(after.uid, 0u);
}

// Root follows no link at all: whoever may write the folder could point
// setting.cfg at any file on the system.
TEST(SettingsFileAsRoot, LinksAreLeftAloneAndNothingIsWritten) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "runs as root only";
    }
    TempDir dir;
    const group* shadow = ::getgrnam("shadow");
    WriteBytes(dir / "shadow", "root:*:19000:0:99999:7:::\n");
    ASSERT_EQ(::chown((dir / "shadow").c_str(), 0, shadow != nullptr ? shadow->gr_gid : 0), 0);
    ASSERT_EQ(::chmod((dir / "shadow").c_str(), 0640), 0);
    std::filesystem::create_symlink(dir / "shadow", dir / "setting.cfg");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling.cfg");
    const auto before = TreeOf(dir.path());

    EXPECT_FALSE(ReplaceFileContents(dir / "setting.cfg", kNewLine));
    EXPECT_FALSE(ReplaceFileContents(dir / "dangling.cfg", kNewLine));
    UiStrings strings(dir / "setting.cfg");
    strings.LoadSettings();
    strings.SetLanguage(strings.Language());
    UiStrings dangling(dir / "dangling.cfg");
    dangling.LoadSettings();

    EXPECT_EQ(TreeOf(dir.path()), before);
    EXPECT_EQ(strings.Language(), kEnglish);
}

}  // namespace
}  // namespace orvandel
