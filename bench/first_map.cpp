// Starts a program and prints, in seconds, how long it took until it mapped its first
// top-level window on the X display, then its process id; the program keeps running, its
// output thrown away, in a process group of its own.
//
//   first_map PROGRAM [ARG...]   ->   "0.1834 12345"
#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>

namespace {

double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: first_map PROGRAM [ARG...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "first_map: no X display\n");
        return 2;
    }
    // Watch the root before the program starts, so no map goes unseen.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);
    const double start = Now();
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        setpgid(0, 0);
        // Our caller reads our output to its end: the program must not hold it open.
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            close(null);
        }
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    const int fd = ConnectionNumber(display);
    const double deadline = start + 120;
    while (Now() < deadline) {
        while (XPending(display)) {
            XEvent e;
            XNextEvent(display, &e);
            if (e.type == MapNotify) {
                std::printf("%.4f %d\n", Now() - start, static_cast<int>(child));
                std::fflush(stdout);
                XCloseDisplay(display);
                return 0;
            }
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "first_map: the program ended before it showed a window\n");
            return 1;
        }
        fd_set in;
        FD_ZERO(&in);
        FD_SET(fd, &in);
        timeval tv{0, 50000};
        select(fd + 1, &in, nullptr, nullptr, &tv);
    }
    std::fprintf(stderr, "first_map: no window within two minutes\n");
    kill(-child, SIGKILL);
    return 1;
}
