/* xwait.h - the X set-up the timing helpers under bench/ share: a monotonic
 *   clock, a display whose errors about vanished windows are ignored, window
 *   title and viewable checks, and the pieces of waiting for top-level windows.
 *   Header only (static functions), nothing to link but -lX11.
 *   Include it after defining _GNU_SOURCE, like any other system header.      */
#ifndef QS_BENCH_XWAIT_H
#define QS_BENCH_XWAIT_H

#include <X11/Xlib.h>
#include <stdio.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static inline double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

/* Windows may vanish between an event and the query that follows it. */
static inline int xwait_ignore_error(Display *d, XErrorEvent *e)
{
    (void)d;
    (void)e;
    return 0;
}

static Atom xwait_netname, xwait_utf8;

/* The default display with errors ignored and the title atoms known; NULL,
 * after saying so on stderr, when there is no display. */
static inline Display *xwait_open(void)
{
    Display *d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "cannot open display\n");
        return NULL;
    }
    XSetErrorHandler(xwait_ignore_error);
    xwait_netname = XInternAtom(d, "_NET_WM_NAME", False);
    xwait_utf8 = XInternAtom(d, "UTF8_STRING", False);
    return d;
}

/* Whether the window's title (_NET_WM_NAME, else WM_NAME) contains sub. */
static inline int title_has(Display *d, Window w, const char *sub)
{
    int found = 0;
    Atom type;
    int fmt;
    unsigned long n, after;
    unsigned char *data = NULL;
    if (XGetWindowProperty(d, w, xwait_netname, 0, 4096, False, xwait_utf8, &type, &fmt, &n, &after,
                           &data) == Success &&
        data) {
        if (strstr((char *)data, sub))
            found = 1;
        XFree(data);
    }
    if (!found) {
        char *name = NULL;
        if (XFetchName(d, w, &name) && name) {
            if (strstr(name, sub))
                found = 1;
            XFree(name);
        }
    }
    return found;
}

static inline int viewable(Display *d, Window w)
{
    XWindowAttributes wa;
    return XGetWindowAttributes(d, w, &wa) && wa.map_state == IsViewable;
}

/* With SubstructureNotify on root: a new top-level window gets its property
 * changes (title) reported too. True when ev was such a creation. */
static inline int watch_if_created(Display *d, Window root, const XEvent *ev)
{
    if (ev->type != CreateNotify || ev->xcreatewindow.parent != root)
        return 0;
    XSelectInput(d, ev->xcreatewindow.window, PropertyChangeMask);
    return 1;
}

/* Sleeps until the X connection has something to read or ms pass. */
static inline void wait_for_x(Display *d, double ms)
{
    int fd = ConnectionNumber(d);
    fd_set fds;
    FD_ZERO(&fds);
    FD_SET(fd, &fds);
    struct timeval tv = {(long)(ms / 1000), (long)((ms - (long)(ms / 1000) * 1000) * 1000)};
    select(fd + 1, &fds, NULL, NULL, &tv);
}

#endif
