/* map_timer PREFIX PROGRAM [ARGS...]
 *
 * Starts PROGRAM and prints the milliseconds from just before its fork to
 * the X server's MapNotify for its first top-level window whose name
 * starts with PREFIX; then ends it (SIGTERM). The events come from the
 * server itself (SubstructureNotify on the root window, selected before the
 * start), so nothing is polled and the program under test is not changed.
 * Exits 1 when no such window is mapped within 30 s. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double Seconds(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

static int NameStartsWith(Display* d, Window w, const char* prefix)
{
    XTextProperty prop;
    int match = 0;
    if (XGetWMName(d, w, &prop) && prop.value) {
        match = strncmp((const char*)prop.value, prefix, strlen(prefix)) == 0;
        XFree(prop.value);
    }
    return match;
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: map_timer PREFIX PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "map_timer: no X display\n");
        return 2;
    }
    XSelectInput(d, DefaultRootWindow(d), SubstructureNotifyMask);
    XSync(d, False);

    const double start = Seconds();
    const pid_t pid = fork();
    if (pid == 0) {
        close(ConnectionNumber(d));
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    double mapped = -1;
    const int fd = ConnectionNumber(d);
    while (mapped < 0 && Seconds() - start < 30) {
        while (XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type == MapNotify && !ev.xmap.override_redirect &&
                NameStartsWith(d, ev.xmap.window, argv[1])) {
                mapped = Seconds();
                break;
            }
        }
        if (mapped >= 0)
            break;
        fd_set in;
        FD_ZERO(&in);
        FD_SET(fd, &in);
        struct timeval wait = {0, 100000};
        select(fd + 1, &in, NULL, NULL, &wait);
        if (waitpid(pid, NULL, WNOHANG) == pid) {
            fprintf(stderr, "map_timer: %s ended before mapping a window\n", argv[2]);
            return 1;
        }
    }
    kill(pid, SIGTERM);
    waitpid(pid, NULL, 0);
    if (mapped < 0) {
        fprintf(stderr, "map_timer: no window named %s... within 30 s\n", argv[1]);
        return 1;
    }
    printf("%.2f\n", (mapped - start) * 1000);
    return 0;
}
