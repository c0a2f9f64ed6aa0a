// Validates command-line finder output against the JSON schema in the repository
// (python3-jsonschema, installed by scripts/install-deps.sh --test).
#pragma once

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace orvandel::test {

// Writes each document to a file of its own (names ending in ".ndjson" hold one
// document per line) and runs the validator; returns its report, empty when
// every document is valid.
// `schema` names a schema file of tools/cli.
inline std::string SchemaErrors(const std::vector<std::pair<std::string, std::string>>& documents,
                                const std::string& schema = "orvandel-cli.schema.json") {
    char folder[] = "/tmp/orvandel-schema-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return "cannot make a temporary folder";
    }
    std::vector<std::string> words = {"python3",
                                      ORVANDEL_SOURCE_DIR "/tests/tools/cli/validate_json.py",
                                      ORVANDEL_SOURCE_DIR "/tools/cli/" + schema};
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const std::string path = std::string(folder) + "/" + std::to_string(i) + documents[i].first;
        std::ofstream(path, std::ios::binary) << documents[i].second;
        words.push_back(path);
    }
    const std::string report = std::string(folder) + "/report";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, report.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t pid = -1;
    int status = -1;
    const int spawned = ::posix_spawnp(&pid, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned == 0) {
        ::waitpid(pid, &status, 0);
    }
    std::string text;
    {
        std::ifstream in(report);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    for (std::size_t i = 0; i <= documents.size(); ++i) {
        std::remove((std::string(folder) + "/" +
                     (i < documents.size() ? std::to_string(i) + documents[i].first : "report"))
                        .c_str());
    }
    ::rmdir(folder);
    if (spawned != 0) {
        return "cannot run python3";
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return text.empty() ? "the validator failed" : text;
    }
    return {};
}

}  // namespace orvandel::test
