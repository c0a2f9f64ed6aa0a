// Runs part of a test as the unprivileged user "nobody": root ignores permission
// bits, so what a user may or may not write is only seen after dropping root.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <optional>
#include <string>

namespace orvandel::test {

struct User {
    uid_t uid;
    gid_t gid;
};

// nobody, when this process is root and the user exists; empty otherwise, with
// `why` set to a reason to skip.
inline std::optional<User> UnprivilegedUser(std::string& why) {
    if (::geteuid() != 0) {
        why = "needs root: the test sets up files of root and of nobody, then drops to nobody";
        return std::nullopt;
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr || nobody->pw_uid == 0) {
        why = "there is no unprivileged user \"nobody\" to drop to";
        return std::nullopt;
    }
    return User{nobody->pw_uid, nobody->pw_gid};
}

// Exit codes of a child that could not become the user; a body returns less.
inline constexpr int kDropFailed = 120;
inline constexpr int kStillPrivileged = 121;
inline constexpr int kBodyThrew = 122;

// Forks; the child drops every group and all three user and group ids to `user`,
// makes sure root's powers are gone, runs `body` and exits with what it returns
// (0..119). The parent gets the exit code, or -1 when the child did not exit.
// Only async-signal-safe work happens in the child apart from `body`; the test
// process is single-threaded, so `body` may use the library as usual.
inline int RunAs(const User& user, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(user.gid, user.gid, user.gid) != 0 ||
            ::setresuid(user.uid, user.uid, user.uid) != 0) {
            ::_exit(kDropFailed);
        }
        if (::setuid(0) == 0 || ::geteuid() == 0) {
            ::_exit(kStillPrivileged);
        }
        int code = kBodyThrew;
        try {
            code = body();
        } catch (...) {
        }
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace orvandel::test
