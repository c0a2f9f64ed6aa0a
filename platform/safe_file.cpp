#include "platform/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "platform/unique_fd.h"

namespace orvandel {
namespace {

// Removes a temporary file unless it was renamed into place.
class TempFile {
public:
    TempFile() = default;
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    const std::filesystem::path& Path() const { return m_path; }
    void Set(std::filesystem::path path) { m_path = std::move(path); }
    void Keep() { m_path.clear(); }

private:
    std::filesystem::path m_path;
};

bool WriteAllAt(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The new contents on disk before the rename makes them the file's: after a crash
// the name holds the old contents or the whole new ones, never an empty file.
bool Durable(int fd) {
    while (::fsync(fd) != 0) {
        if (errno != EINTR) {
            return errno == EINVAL;  // a file system without fsync (a pipe-like one)
        }
    }
    return true;
}

// The rename itself on disk. Best effort: the file is whole either way.
void SyncFolderOf(const std::filesystem::path& target) {
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) {
        ::fsync(fd.Get());
    }
}

// FNV-1a: enough to tell an edit from the bytes that were read.
constexpr std::uint64_t kChecksumStart = 0xcbf29ce484222325ULL;
std::uint64_t Checksum(std::uint64_t sum, std::string_view bytes) {
    for (const char c : bytes) {
        sum = (sum ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    return sum;
}

FileStamp StampOf(const struct stat& st, std::uint64_t checksum) {
    return {true,
            static_cast<std::uint64_t>(st.st_dev),
            static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_size),
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
            checksum};
}

// Whether the regular file at `path` is still what `expected` stamped; reads it
// through once, a piece at a time.
bool StillAsRead(const std::filesystem::path& path, const FileStamp& expected) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        StampOf(st, expected.checksum) != expected) {
        return false;
    }
    std::array<char, 65536> buffer{};
    std::uint64_t sum = kChecksumStart;
    std::uint64_t total = 0;
    while (true) {
        const ssize_t n = ::read(fd.Get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        sum = Checksum(sum, std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        total += static_cast<std::uint64_t>(n);
        if (total > expected.size) {
            return false;  // growing: not what was read, and no end to wait for
        }
    }
    return total == expected.size && sum == expected.checksum;
}

std::filesystem::path TempNameBeside(const std::filesystem::path& target) {
    static std::atomic<std::uint64_t> counter{0};
    const auto stamp =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::uint64_t unique = stamp ^ (counter.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
    std::array<char, 17> hex{};
    std::snprintf(hex.data(), hex.size(), "%016llx", static_cast<unsigned long long>(unique));
    return target.parent_path() /
           ("." + target.filename().string() + "." + std::string(hex.data()) + ".tmp");
}

// Whether `name` is one of TempNameBeside's names for a file called `file`.
bool IsTempNameOf(std::string_view name, std::string_view file) {
    constexpr std::size_t kHexDigits = 16;
    constexpr std::string_view kSuffix = ".tmp";
    if (name.size() != 1 + file.size() + 1 + kHexDigits + kSuffix.size() ||
        !name.starts_with('.') || name.substr(1, file.size()) != file ||
        name[1 + file.size()] != '.' || !name.ends_with(kSuffix)) {
        return false;
    }
    const std::string_view hex = name.substr(2 + file.size(), kHexDigits);
    return std::all_of(hex.begin(), hex.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

// Removes what killed writes of `target` left beside it. A live writer holds a lock
// on its temporary file from creation to rename; the lock goes with its process,
// so a file that can be locked has no writer. Names are looked at, never followed.
void RemoveLeftoverTemps(const std::filesystem::path& target) {
    constexpr int kMaxEntries = 4096;  // a crowded folder costs a bounded look per write
    const std::string file = target.filename().string();
    const std::filesystem::path folder = target.has_parent_path() ? target.parent_path() : ".";
    const int dir_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir_fd < 0) {
        return;
    }
    DIR* dir = ::fdopendir(dir_fd);  // owns dir_fd from here
    if (dir == nullptr) {
        ::close(dir_fd);
        return;
    }
    const uid_t user = ::geteuid();
    int seen = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (++seen > kMaxEntries) {
            break;
        }
        if (!IsTempNameOf(entry->d_name, file)) {
            continue;
        }
        UniqueFd fd(::openat(dir_fd, entry->d_name,
                             O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        struct stat st {};
        if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != user || ::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            continue;
        }
        // Still the file that was checked under that name.
        struct stat now {};
        if (::fstatat(dir_fd, entry->d_name, &now, AT_SYMLINK_NOFOLLOW) == 0 &&
            now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
            ::unlinkat(dir_fd, entry->d_name, 0);
        }
    }
    ::closedir(dir);
}

// A new file beside `target` that nobody else has opened ("x": never a file someone
// else created under the same name), locked while this writer lives. Invalid when
// the folder refuses it.
UniqueFd CreateTempBeside(const std::filesystem::path& target, mode_t mode, TempFile& name) {
    RemoveLeftoverTemps(target);
    for (int attempt = 0; attempt < 8; ++attempt) {
        std::filesystem::path temp = TempNameBeside(target);
        UniqueFd fd(
            ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (fd.Valid()) {
            // Another writer's clean-up could take the file in the moment before the
            // lock; the rename then fails and the write takes its other way.
            ::flock(fd.Get(), LOCK_EX | LOCK_NB);
            name.Set(std::move(temp));
            return fd;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    return UniqueFd();
}

enum class Outcome { kDone, kFailed, kRetry, kChanged };

// The file keeps its contents' bytes at the front and is cut to length after, so a
// reader never meets an empty file, only the old line or the new one (a shorter
// line leaves the old tail for a moment, past its own line end).
bool WriteInPlace(UniqueFd& fd, std::string_view bytes) {
    bool ok = WriteAllAt(fd.Get(), bytes);
    ok = ok && ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) == 0;
    return fd.Close() && ok;
}

// ACLs and labels live in extended attributes, which a new file would not carry.
bool HasExtendedAttributes(int fd) {
    return ::flistxattr(fd, nullptr, 0) > 0;
}

// Gives `to` what extended attributes of `from` this user may set. A label the
// system gives new files itself, or one this user may not set, stays the new
// file's own.
void CopyExtendedAttributes(int from, int to) {
    const ssize_t listed = ::flistxattr(from, nullptr, 0);
    if (listed <= 0) {
        return;
    }
    std::string names(static_cast<std::size_t>(listed), '\0');
    const ssize_t got = ::flistxattr(from, names.data(), names.size());
    if (got <= 0) {
        return;
    }
    names.resize(static_cast<std::size_t>(got));
    std::string value;
    for (std::size_t at = 0; at < names.size();) {
        const char* name = names.c_str() + at;
        at += std::strlen(name) + 1;
        const ssize_t length = ::fgetxattr(from, name, nullptr, 0);
        if (length < 0 || length > 65536) {
            continue;
        }
        value.resize(static_cast<std::size_t>(length));
        const ssize_t read = ::fgetxattr(from, name, value.data(), value.size());
        if (read >= 0) {
            ::fsetxattr(to, name, value.data(), static_cast<std::size_t>(read), 0);
        }
    }
}

// Replaces `target` (opened as `existing`, with status `st`) by a renamed new file,
// so that readers see the old or the new contents: when the new file has the same
// mode and owner and, unless `options` says always, nothing else names the old one.
// kFailed with nothing changed otherwise.
Outcome ReplaceByRename(const std::filesystem::path& target, int existing, const struct stat& st,
                        std::string_view bytes, const ReplaceOptions& options) {
    if (!options.always_rename && (st.st_nlink != 1 || HasExtendedAttributes(existing))) {
        return Outcome::kFailed;
    }
    TempFile name;
    UniqueFd temp = CreateTempBeside(target, S_IRUSR | S_IWUSR, name);
    if (!temp.Valid()) {
        return Outcome::kFailed;
    }
    struct stat made {};
    if (::fstat(temp.Get(), &made) != 0) {
        return Outcome::kFailed;
    }
    // The owner first: a change of owner clears set-id bits.
    if ((made.st_uid != st.st_uid || made.st_gid != st.st_gid) &&
        ::fchown(temp.Get(), st.st_uid, st.st_gid) != 0) {
        return Outcome::kFailed;
    }
    if (::fchmod(temp.Get(), st.st_mode & 07777) != 0 || ::fstat(temp.Get(), &made) != 0 ||
        made.st_uid != st.st_uid || made.st_gid != st.st_gid ||
        (made.st_mode & 07777) != (st.st_mode & 07777)) {
        return Outcome::kFailed;
    }
    if (options.always_rename) {
        CopyExtendedAttributes(existing, temp.Get());
    }
    if (!WriteAllAt(temp.Get(), bytes) || !Durable(temp.Get()) || !temp.Close()) {
        return Outcome::kFailed;
    }
    // The name must still be the file that was checked, and that file as it was read.
    struct stat now {};
    if (::lstat(target.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        return options.unchanged_since != nullptr ? Outcome::kChanged : Outcome::kRetry;
    }
    if (options.unchanged_since != nullptr && !StillAsRead(target, *options.unchanged_since)) {
        return Outcome::kChanged;
    }
    if (::rename(name.Path().c_str(), target.c_str()) != 0) {
        return Outcome::kFailed;
    }
    name.Keep();
    SyncFolderOf(target);
    return Outcome::kDone;
}

// Rewrites the regular file at `target`, found by lstat as `seen`. Opening it for
// writing is the permission test: a file this user may not write is left as it was.
Outcome RewriteExisting(const std::filesystem::path& target, const struct stat& seen,
                        std::string_view bytes, const ReplaceOptions& options) {
    // O_NONBLOCK: a pipe swapped in under the name must not block the open.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.Valid()) {
        return errno == ELOOP ? Outcome::kRetry : Outcome::kFailed;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        return Outcome::kFailed;
    }
    if (st.st_dev != seen.st_dev || st.st_ino != seen.st_ino) {
        return Outcome::kRetry;  // the name changed between the look and the open
    }
    if (!S_ISREG(st.st_mode)) {
        return Outcome::kFailed;
    }
    const Outcome renamed = ReplaceByRename(target, fd.Get(), st, bytes, options);
    if (renamed != Outcome::kFailed || options.always_rename) {
        return renamed;
    }
    if (options.unchanged_since != nullptr && !StillAsRead(target, *options.unchanged_since)) {
        return Outcome::kChanged;
    }
    return WriteInPlace(fd, bytes) ? Outcome::kDone : Outcome::kFailed;
}

// Creates the missing file at `target` with the mode a plain create gives it. The
// whole file appears at once, and never over a file that appeared meanwhile.
Outcome CreateMissing(const std::filesystem::path& target, std::string_view bytes) {
    const mode_t mode = S_IRUSR | S_IWUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
    TempFile name;
    UniqueFd temp = CreateTempBeside(target, mode, name);
    if (temp.Valid()) {
        if (!WriteAllAt(temp.Get(), bytes) || !Durable(temp.Get()) || !temp.Close()) {
            return Outcome::kFailed;
        }
        if (::renameat2(AT_FDCWD, name.Path().c_str(), AT_FDCWD, target.c_str(),
                        RENAME_NOREPLACE) == 0) {
            name.Keep();
            SyncFolderOf(target);
            return Outcome::kDone;
        }
        if (errno == EEXIST || errno == ENOENT) {
            return Outcome::kRetry;  // a file appeared, or the temporary one was taken
        }
        if (errno != EINVAL && errno != ENOSYS) {
            return Outcome::kFailed;
        }
        // The file system cannot rename without replacing; a hard link can.
        if (::link(name.Path().c_str(), target.c_str()) == 0) {
            return Outcome::kDone;  // the temporary name goes with `name`
        }
        if (errno == EEXIST) {
            return Outcome::kRetry;
        }
    }
    // No temporary file beside it (a name near the length limit, say): create the
    // file itself, still never over one that exists.
    UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (!fd.Valid()) {
        return errno == EEXIST ? Outcome::kRetry : Outcome::kFailed;
    }
    if (!WriteAllAt(fd.Get(), bytes) || !fd.Close()) {
        ::unlink(target.c_str());
        return Outcome::kFailed;
    }
    return Outcome::kDone;
}

// A link is followed only when this user made it: anyone who may write the folder
// could otherwise point the settings file at a file of this user's, and root's
// writes would reach any file at all.
bool MayFollow(const struct stat& link) {
    const uid_t user = ::geteuid();
    return user != 0 && link.st_uid == user;
}

std::optional<std::filesystem::path> LinkTarget(const std::filesystem::path& link) {
    std::error_code ec;
    const std::filesystem::path to = std::filesystem::read_symlink(link, ec);
    if (ec || to.empty()) {
        return std::nullopt;
    }
    return to.is_absolute() ? to : link.parent_path() / to;
}

// One step along a link the policy allows: `current` (a link, found by lstat as
// `seen`) becomes its target. False when the policy refuses the link or it cannot
// be read; `current` stays when the name changed meanwhile (the caller looks again).
bool FollowLink(std::filesystem::path& current, const struct stat& seen) {
    if (!MayFollow(seen)) {
        return false;
    }
    const auto next = LinkTarget(current);
    struct stat again {};
    if (!next || ::lstat(current.c_str(), &again) != 0) {
        return false;
    }
    if (again.st_dev == seen.st_dev && again.st_ino == seen.st_ino) {
        current = *next;  // the link that was read is the one that was checked
    }
    return true;
}

// Links followed plus races retried, for the reader and the writer alike.
constexpr int kMaxSteps = 8;

}  // namespace

std::optional<std::string> ReadFileBounded(const std::filesystem::path& path, std::size_t max_bytes,
                                           FileStamp* stamp, std::string* why) {
    auto refuse = [why](std::string reason) -> std::optional<std::string> {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return std::nullopt;
    };
    std::filesystem::path current = path;
    if (stamp != nullptr) {
        *stamp = FileStamp{};
    }
    for (int step = 0; step < kMaxSteps; ++step) {
        struct stat seen {};
        if (::lstat(current.c_str(), &seen) != 0) {
            return refuse(std::strerror(errno));
        }
        if (S_ISLNK(seen.st_mode)) {
            if (!FollowLink(current, seen)) {
                return refuse(::geteuid() == 0
                                  ? "a symbolic link, which is not followed as root"
                                  : "a symbolic link of another user, which is not followed");
            }
            continue;
        }
        if (!S_ISREG(seen.st_mode)) {
            return refuse(S_ISDIR(seen.st_mode) ? "a folder" : "not a regular file");
        }
        // O_NONBLOCK: a pipe swapped in after the look must not block the open.
        UniqueFd fd(
            ::open(current.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd.Valid()) {
            if (errno == ELOOP) {
                continue;  // a link took the name after the look
            }
            return refuse(std::strerror(errno));
        }
        struct stat st {};
        if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) {
            return refuse("not a regular file");
        }
        // Sized by the file: a large one is not grown into by doubling (and copying).
        const auto expected = static_cast<std::size_t>(std::max<off_t>(st.st_size, 0)) + 1;
        std::string out(std::min(max_bytes, std::max<std::size_t>(expected, 4096)), '\0');
        std::size_t done = 0;
        while (done < max_bytes) {
            if (done == out.size()) {
                out.resize(std::min(max_bytes, out.size() * 2));
            }
            const ssize_t n = ::read(fd.Get(), out.data() + done, out.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return refuse(std::strerror(errno));
            }
            if (n == 0) {
                break;
            }
            done += static_cast<std::size_t>(n);
        }
        out.resize(done);
        if (stamp != nullptr) {
            struct stat after {};
            if (::fstat(fd.Get(), &after) != 0) {
                return refuse(std::strerror(errno));
            }
            if (after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
                after.st_mtim.tv_nsec != st.st_mtim.tv_nsec) {
                continue;  // written to meanwhile: what was read may be part old, part new
            }
            *stamp = StampOf(st, Checksum(kChecksumStart, out));
        }
        return out;
    }
    return refuse("it kept changing while it was read");
}

bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes) {
    return ReplaceFile(target, bytes, {}) == ReplaceResult::kReplaced;
}

ReplaceResult ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                          const ReplaceOptions& options) {
    const FileStamp* expected = options.unchanged_since;
    std::filesystem::path current = target;
    for (int step = 0; step < kMaxSteps; ++step) {
        struct stat seen {};
        Outcome outcome = Outcome::kFailed;
        if (::lstat(current.c_str(), &seen) != 0) {
            if (errno != ENOENT) {
                return ReplaceResult::kFailed;
            }
            if (expected != nullptr && expected->exists) {
                return ReplaceResult::kChanged;  // removed since it was read
            }
            outcome = CreateMissing(current, bytes);
            if (outcome == Outcome::kRetry && expected != nullptr) {
                return ReplaceResult::kChanged;  // a file appeared meanwhile
            }
        } else if (S_ISLNK(seen.st_mode)) {
            if (!FollowLink(current, seen)) {
                return ReplaceResult::kFailed;
            }
            continue;
        } else if (S_ISREG(seen.st_mode)) {
            if (expected != nullptr && !expected->exists) {
                return ReplaceResult::kChanged;
            }
            outcome = RewriteExisting(current, seen, bytes, options);
        } else {
            // A device, pipe or folder is not ours to replace or block on.
            return ReplaceResult::kFailed;
        }
        if (outcome == Outcome::kChanged) {
            return ReplaceResult::kChanged;
        }
        if (outcome != Outcome::kRetry) {
            return outcome == Outcome::kDone ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
        }
    }
    return ReplaceResult::kFailed;
}

}  // namespace orvandel
