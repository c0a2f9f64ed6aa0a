// The wait for a local X display that is about to listen.
#include "platform/x11_display.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/udp_socket.h"

namespace orvandel {
namespace {

struct PathRow {
    const char* name;
    const char* display;
    const char* path;  // nullptr: not a local display
};

TEST(X11SocketPath, LocalDisplaysOnly) {
    const PathRow rows[] = {
        {"plain", ":0", "/tmp/.X11-unix/X0"},
        {"screen number", ":12.1", "/tmp/.X11-unix/X12"},
        {"unix host", "unix:3", "/tmp/.X11-unix/X3"},
        {"remote host", "example.org:0", nullptr},
        {"ssh forwarding", "localhost:10.0", nullptr},
        {"empty", "", nullptr},
        {"no number", ":", nullptr},
        {"not a number", ":x1", nullptr},
        {"path traversal", ":../../etc", nullptr},
        {"too long", ":1234567", nullptr},
    };
    for (const PathRow& row : rows) {
        const auto path = X11SocketPath(row.display);
        if (row.path == nullptr) {
            EXPECT_FALSE(path.has_value()) << row.name;
        } else {
            EXPECT_EQ(path.value_or("<none>"), row.path) << row.name;
        }
    }
}

// A listening Unix socket at `path`, bound when constructed.
UniqueFd Listen(const std::string& path) {
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        ::listen(fd.Get(), 4) != 0) {
        return UniqueFd();
    }
    return fd;
}

class UnixSocketWait : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/orvandel-x11-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/X0";
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_, path_;
};

TEST_F(UnixSocketWait, AServerThatListensLaterIsWaitedFor) {
    UniqueFd server;
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        server = Listen(path_);
    });
    EXPECT_FALSE(UnixSocketAccepts(path_));
    EXPECT_TRUE(WaitForUnixSocket(path_, 5000, SystemClock()));
    late.join();
    EXPECT_TRUE(server.Valid());
}

TEST_F(UnixSocketWait, NoServerEndsAtTheTimeout) {
    Clock& clock = SystemClock();
    const auto start = clock.NowMs();
    EXPECT_FALSE(WaitForUnixSocket(path_, 150, clock));
    const auto waited = clock.NowMs() - start;
    EXPECT_GE(waited, 140);
    EXPECT_LT(waited, 2000);
}

TEST_F(UnixSocketWait, AFileThatIsNoSocketIsNoServer) {
    {
        std::FILE* f = std::fopen(path_.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fclose(f);
    }
    EXPECT_FALSE(UnixSocketAccepts(path_));
}

}  // namespace
}  // namespace orvandel
