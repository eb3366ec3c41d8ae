// Other programs doing the same job, timed beside ours in the same run: found on PATH, started as
// whole processes (their start-up counted, as a user pays it), the best of a few runs kept. A peer the
// machine lacks is skipped with a line saying so, never an error.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace peers
{

inline std::string FindProgram(std::string_view name)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty())
    {
        const auto colon = rest.find(':');
        const std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + std::string(name);
        struct stat st;
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// Runs argv[0] with stdout to `stdoutPath` (or /dev/null); the wall time in seconds, or a negative
// value when it cannot start or does not exit with 0.
inline double RunSeconds(const std::vector<std::string>& argv, const std::string& stdoutPath = "/dev/null")
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A benchmark of one peer process: each iteration is one whole run, timed by hand. `argv[0]` is the
// program's name; when PATH has no such program, a line says so and nothing is registered. `prepare`
// writes the input files when the benchmark first runs (not when a filter leaves it out).
inline void Register(const std::string& name, std::vector<std::string> argv, const char* debianPackage,
                     std::function<bool()> prepare = {}, const std::string& stdoutPath = "/dev/null")
{
    const std::string program = FindProgram(argv[0]);
    if (program.empty())
    {
        std::printf("peer %s skipped: %s is not on this machine (Debian package %s)\n", name.c_str(),
                    argv[0].c_str(), debianPackage);
        return;
    }
    argv[0] = program;
    benchmark::RegisterBenchmark(name.c_str(),
                                 [argv, prepare, stdoutPath](benchmark::State& state) {
                                     if (prepare && !prepare())
                                     {
                                         state.SkipWithError("cannot write the peer's input");
                                         return;
                                     }
                                     for (auto _ : state)
                                     {
                                         const double seconds = RunSeconds(argv, stdoutPath);
                                         if (seconds < 0)
                                         {
                                             state.SkipWithError("the peer failed");
                                             return;
                                         }
                                         state.SetIterationTime(seconds);
                                     }
                                 })
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond)
        ->MinTime(1.0);
}

// A folder of its own under the system's temporary folder, removed when the program ends.
inline const std::string& WorkFolder()
{
    static const struct Folder
    {
        std::string path;
        Folder()
        {
            std::string pattern = (std::filesystem::temp_directory_path() / "velmo-peers-XXXXXX").string();
            if (::mkdtemp(pattern.data()))
                path = pattern;
        }
        ~Folder()
        {
            std::error_code ec;
            if (!path.empty())
                std::filesystem::remove_all(path, ec);
        }
    } folder;
    return folder.path;
}

} // namespace peers
