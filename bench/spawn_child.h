// Children of the benchmarks: a program started with its stdout into a pipe, and
// the CPU time a finished child used.
#pragma once

#include <spawn.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace orvandel::bench {

// Starts `words` (the program first, looked up on PATH when it has no slash) with
// its stdout into a pipe; returns its pid and the pipe's read end in `out`, or -1.
inline pid_t SpawnWithStdout(std::vector<std::string> words, int& out) {
    int pipe_fds[2];
    if (::pipe(pipe_fds) != 0) {
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    const bool started =
        ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_fds[1]);
    if (!started) {
        ::close(pipe_fds[0]);
        return -1;
    }
    out = pipe_fds[0];
    return pid;
}

// User + system seconds of a child's rusage.
inline double CpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace orvandel::bench
