#pragma once

// CPU time of this process and of a gst-launch-1.0 run, for the benchmarks' comparisons.

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {

inline double seconds(const timeval& time)
{
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

inline double ownCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `gst-launch-1.0 -q -e WORDS...` for that long, then interrupts it (-e turns that into
// end-of-stream, so a file is closed properly) and answers the CPU it used; 0 if it did not start.
inline double gstLaunchCpu(const std::vector<std::string>& pipeline, int runSeconds)
{
    std::vector<std::string> words = {"gst-launch-1.0", "-q", "-e"};
    words.insert(words.end(), pipeline.begin(), pipeline.end());
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    if (posix_spawnp(&child, "gst-launch-1.0", nullptr, nullptr, argv.data(), environ) != 0)
        return 0;
    std::this_thread::sleep_for(std::chrono::seconds(runSeconds));
    kill(child, SIGINT);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace bench
