// Prints how long a program takes from being started to its first window being mapped (the
// first MapNotify on the root window, seen by a client of the same X server, as a user sees
// the window appear), over warm starts: one start first that is not counted, then N.
//
// bench_window_map PROGRAM [N, default 10]      (on a display: DISPLAY set, e.g. xvfb-run -a)

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from the start to the first top-level window mapped; negative when none came
// within 20 s or the program could not be started.
double timeToMap(Display* display, char* program)
{
    while (XPending(display)) {
        XEvent stale;
        XNextEvent(display, &stale);
    }
    char* argv[] = {program, nullptr};
    pid_t child = 0;
    const auto started = Clock::now();
    if (posix_spawn(&child, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    double mapped = -1;
    const int connection = ConnectionNumber(display);
    while (mapped < 0 && Clock::now() - started < std::chrono::seconds(20)) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && event.xmap.event == DefaultRootWindow(display) && mapped < 0)
                mapped = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
        }
        if (mapped >= 0)
            break;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(connection, &readable);
        timeval wait{0, 10000};
        select(connection + 1, &readable, nullptr, nullptr, &wait);
    }
    kill(child, SIGTERM);
    waitpid(child, nullptr, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return mapped;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_window_map PROGRAM [STARTS]\n");
        return 2;
    }
    const int starts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no display: run it under xvfb-run -a\n");
        return 2;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XFlush(display);
    timeToMap(display, argv[1]);  // the first start fills the caches; it is not counted
    std::vector<double> times;
    for (int start = 0; start < starts; ++start)
        if (const double ms = timeToMap(display, argv[1]); ms >= 0)
            times.push_back(ms);
    XCloseDisplay(display);
    if (times.empty()) {
        std::fprintf(stderr, "%s: no window was mapped\n", argv[1]);
        return 1;
    }
    std::sort(times.begin(), times.end());
    std::printf("%s: window mapped %.1f ms after the start, median of %zu warm starts (%.1f to %.1f)\n", argv[1],
                times[times.size() / 2], times.size(), times.front(), times.back());
    return 0;
}
