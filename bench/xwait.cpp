// korvo-bench-xwait [--runs N] --name TITLE -- PROGRAM [ARG...]
// Start-up time of a program under X: from just before exec to the moment the X server maps a top-level
// window with the given title, watched through the server's own notifications (no polling), N times.
// Prints each time in ms on stderr and "p50 MS" on stdout.
#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/select.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool hasTitle(Display* display, Window window, const std::string& title)
{
    char* name = nullptr;
    bool same = false;
    if (XFetchName(display, window, &name) != 0 && name != nullptr) {
        same = title == name;
        XFree(name);
    }
    return same;
}

/// Waits for a MapNotify of a window with the title (or, once mapped, its title being set); -1 on timeout or
/// when the program ends first.
double waitForWindow(Display* display, const std::string& title, std::chrono::steady_clock::time_point from, pid_t child)
{
    const int fd = ConnectionNumber(display);
    const auto deadline = from + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "korvo-bench-xwait: the program ended (status %d) before showing its window\n", status);
            return -1;
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            Window w = 0;
            if (event.type == MapNotify)
                w = event.xmap.window;
            else if (event.type == CreateNotify)
                XSelectInput(display, event.xcreatewindow.window, PropertyChangeMask);
            else if (event.type == PropertyNotify && event.xproperty.atom == XA_WM_NAME)
                w = event.xproperty.window;
            if (w == 0 || !hasTitle(display, w, title))
                continue;
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, w, &attributes) != 0 && attributes.map_state == IsViewable)
                return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
        }
        fd_set set;
        FD_ZERO(&set);
        FD_SET(fd, &set);
        timeval tv{0, 50000};
        select(fd + 1, &set, nullptr, nullptr, &tv);
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[])
{
    int runs = 1;
    std::string title;
    int i = 1;
    for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc)
            title = argv[++i];
    }
    if (i + 1 >= argc || title.empty() || runs < 1) {
        std::fprintf(stderr, "usage: korvo-bench-xwait [--runs N] --name TITLE -- PROGRAM [ARG...]\n");
        return 2;
    }
    char** program = argv + i + 1;

    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "korvo-bench-xwait: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        XSync(display, True); // forget what earlier runs left behind
        const auto from = std::chrono::steady_clock::now();
        const pid_t child = fork();
        if (child == 0) {
            execvp(program[0], program);
            std::_Exit(127);
        }
        const double ms = waitForWindow(display, title, from, child);
        kill(child, SIGTERM);
        int status = 0;
        waitpid(child, &status, 0);
        if (ms < 0) {
            std::fprintf(stderr, "korvo-bench-xwait: run %d: no window \"%s\" within 10 s\n", run + 1, title.c_str());
            return 1;
        }
        std::fprintf(stderr, "run %d: %.1f ms\n", run + 1, ms);
        times.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::sort(times.begin(), times.end());
    std::printf("p50 %.1f\n", times[(times.size() + 1) / 2 - 1]);
    XCloseDisplay(display);
    return 0;
}
