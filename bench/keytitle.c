/* keytitle - time from a key command to a window title (monotonic clock).
 *   Waits until a mapped top-level window's title (_NET_WM_NAME/WM_NAME)
 *   contains READY, runs the key command (e.g. "xdotool key alt+r"), and
 *   prints key_ms: from just before the key command is started to the first
 *   title that contains TARGET. Event driven: PropertyNotify on every
 *   top-level window, no polling of X. The key command's own start-up is
 *   inside the figure, so it errs on the long side.
 * Build: cc -O2 -o keytitle keytitle.c -lX11
 * Usage: keytitle -r READY -T TARGET [-t TIMEOUT_S] -- key-command args...   */
#define _GNU_SOURCE
#include "xwait.h"

#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

/* any viewable top-level window whose title holds sub */
static int any_title(Display *d, Window root, const char *sub)
{
    Window r, p, *kids = NULL;
    unsigned int n = 0;
    int found = 0;
    if (!XQueryTree(d, root, &r, &p, &kids, &n))
        return 0;
    for (unsigned int i = 0; i < n && !found; i++)
        found = viewable(d, kids[i]) && title_has(d, kids[i], sub);
    if (kids)
        XFree(kids);
    return found;
}

int main(int argc, char **argv)
{
    const char *ready = NULL, *target = NULL;
    double timeout = 30;
    int opt;
    while ((opt = getopt(argc, argv, "r:T:t:")) != -1)
        switch (opt) {
        case 'r':
            ready = optarg;
            break;
        case 'T':
            target = optarg;
            break;
        case 't':
            timeout = atof(optarg);
            break;
        default:
            fprintf(stderr, "usage\n");
            return 2;
        }
    if (!ready || !target || optind >= argc) {
        fprintf(stderr, "usage: keytitle -r READY -T TARGET -- cmd...\n");
        return 2;
    }
    Display *d = xwait_open();
    if (!d)
        return 2;
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    {
        Window r, p, *kids = NULL;
        unsigned int n = 0;
        if (XQueryTree(d, root, &r, &p, &kids, &n)) {
            for (unsigned int i = 0; i < n; i++)
                XSelectInput(d, kids[i], PropertyChangeMask);
            if (kids)
                XFree(kids);
        }
    }
    XSync(d, False);
    double start = now_ms();
    while (!any_title(d, root, ready)) {
        if (now_ms() - start > timeout * 1e3) {
            fprintf(stderr, "no window titled \"%s\"\n", ready);
            return 3;
        }
        while (XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
            watch_if_created(d, root, &ev);
        }
        usleep(20000);
    }
    if (any_title(d, root, target)) {
        fprintf(stderr, "the target title is there before the key\n");
        return 3;
    }
    double t0 = now_ms();
    pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[optind], argv + optind);
        perror("exec");
        _exit(127);
    }
    double t_title = -1;
    while (t_title < 0 && now_ms() - t0 < timeout * 1e3) {
        if (!XPending(d)) {
            wait_for_x(d, 50);
            continue;
        }
        XEvent ev;
        XNextEvent(d, &ev);
        double t = now_ms();
        if (watch_if_created(d, root, &ev))
            continue;
        if ((ev.type == PropertyNotify && viewable(d, ev.xproperty.window) &&
             title_has(d, ev.xproperty.window, target)) ||
            (ev.type == MapNotify && title_has(d, ev.xmap.window, target)))
            t_title = t - t0;
    }
    waitpid(pid, NULL, 0);
    XCloseDisplay(d);
    if (t_title < 0) {
        fprintf(stderr, "title \"%s\" did not come\n", target);
        return 4;
    }
    printf("key_ms=%.1f\n", t_title);
    return 0;
}
