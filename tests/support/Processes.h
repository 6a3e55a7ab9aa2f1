#pragma once

// Running the built Linux programs as processes: through the shell, or started directly and
// waited for, and the names a run of the program uses in its folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace qrx::test {

// Runs `line` with sh and returns its exit status (128 + the signal's number when a signal ended
// it); what it writes to its standard output lands in `output`.
inline int RunShell(const std::string& line, std::string& output) {
    output.clear();
    FILE* p = popen(line.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        output.append(buf, n);
    }
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Starts `argv` (the program's path first) with `environment` as its whole environment and the
// descriptors `in`, `out` and `err` as its standard streams; descriptors of this process that
// are not close-on-exec are inherited too.
inline pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> environment, int in,
                   int out, int err) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in, 0);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    posix_spawn_file_actions_adddup2(&actions, err, 2);
    std::vector<char*> args, env;
    for (auto& a : argv) {
        args.push_back(a.data());
    }
    args.push_back(nullptr);
    for (auto& e : environment) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Waits up to a minute for `pid` to end, kills it when it does not: a bound for a hang, not a
// speed a loaded machine must reach.
inline bool EndsWithinAMinute(pid_t pid, int& status) {
    for (int i = 0; i < 2400 && waitpid(pid, &status, WNOHANG) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return false;
    }
    return true;
}

// The local time `secondsAhead` after `from` in the strftime `format`.
inline std::string LocalTimeText(const char* format, int secondsAhead = 0,
                                 std::time_t from = std::time(nullptr)) {
    const std::time_t t = from + secondsAhead;
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[64];
    std::strftime(text, sizeof text, format, &tm);
    return text;
}

// The data files in `dir` of the next few seconds, which a run started now will use.
inline std::vector<std::filesystem::path> NextDataFiles(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> names;
    const std::time_t now = std::time(nullptr);
    for (int s = 0; s < 8; ++s) {
        names.push_back(dir / LocalTimeText("PC_INFO_%y%m%d%H%M%S.dat", s, now));
    }
    return names;
}

// The files anywhere below `dir` whose names end with `suffix`.
inline std::vector<std::filesystem::path> FindFiles(const std::filesystem::path& dir,
                                                    const std::string& suffix) {
    std::vector<std::filesystem::path> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        if (e.is_regular_file() && e.path().string().ends_with(suffix)) {
            found.push_back(e.path());
        }
    }
    return found;
}

}  // namespace qrx::test
