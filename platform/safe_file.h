// Reading and replacing a small file by name (the settings file) with one link
// policy for both: a symbolic link is followed only when this user owns it and is
// not root, for anyone who may write the folder could otherwise point the name at
// a file of this user's (and root's writes would reach any file at all). Any
// other link, and anything that is not a regular file, is left alone: neither
// read nor written, and never waited on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace orvandel {

// What a read found under a name, to tell later whether someone changed the file
// since: which file it was, its size and modification time, and a checksum of its
// bytes. `exists` is false when the name (or the link it led to) was missing.
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modified_ns = 0;
    std::uint64_t checksum = 0;
    bool operator==(const FileStamp&) const = default;
};

// The first `max_bytes` bytes of the regular file at `path` (all of a shorter
// file). Empty when the name is missing, is a link the policy refuses, is not a
// regular file (a pipe, device or folder swapped in returns at once, never
// blocks), or cannot be read; then `why`, when given, says which. Opens the file
// once, without following a link at the last step, and checks what it opened. With
// `stamp`, says what it read (a file that changes during the read is read again).
std::optional<std::string> ReadFileBounded(const std::filesystem::path& path, std::size_t max_bytes,
                                           FileStamp* stamp = nullptr, std::string* why = nullptr);

// Replaces the file's contents with `bytes`; false when they were not written, and
// then the file is as it was. A file this user may not write is never replaced,
// whatever the folder allows. The file keeps its inode's mode, owner and links:
// it is replaced by a renamed new file (so a concurrent reader sees the old or the
// new contents) only when the new file gets the same mode, owner and group and
// nothing else names the old one; otherwise it is written in place. A missing file
// appears whole, never over one created meanwhile. A link the policy follows is
// kept, and a missing target is created.
//
// The new file is first written under a temporary name beside the target and
// synced to disk before the rename (and the folder after it), so that a crash
// leaves the old contents or the new ones, never an empty file. Its name is
// "." + file name + "." + 16 hex digits + ".tmp". A write killed before its rename
// leaves that file behind; every write first removes such leftovers of the same
// target: regular files of this user that no live writer holds (a writer keeps
// its temporary file locked), looked at without following links, in that folder
// only, a bounded number of entries per write.
bool ReplaceFileContents(const std::filesystem::path& target, std::string_view bytes);

struct ReplaceOptions {
    // Always by a renamed new file, never in place, so that no reader ever sees a
    // part of the new contents: for files other programs read at any moment. The
    // new file gets the old one's mode, owner, group and what extended attributes
    // (ACLs, labels, user attributes) this user may set; another hard link to the
    // old file keeps the old contents. A file whose owner and group the new file
    // cannot get is not replaced.
    bool always_rename = false;
    // Replaces only a file still as a read found it (a missing one still missing):
    // compared at the last moment before the new contents take the name.
    const FileStamp* unchanged_since = nullptr;
};

enum class ReplaceResult { kReplaced, kFailed, kChanged };

// ReplaceFileContents with those choices; kChanged when `unchanged_since` no
// longer holds, and then nothing was written.
ReplaceResult ReplaceFile(const std::filesystem::path& target, std::string_view bytes,
                          const ReplaceOptions& options);

}  // namespace orvandel
