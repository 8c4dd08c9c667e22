/* keytime - time a command prompt's Enter in a running program, as a user sees it.
 *
 * With the prompt window focused, it presses Enter (XTest), waits until the
 * prompt is unmapped (the command has taken the text), then gives the focus
 * back to MAIN_WINDOW and presses the keys of KEYS there (the same command
 * again), and waits until a window whose title contains TITLE is mapped. The
 * program answers that second key only once its event loop runs again, that
 * is after the command has finished and its window has been painted.
 * Waiting for the unmap first keeps the second key out of the prompt's own
 * event loop. Event driven, no polling of X.
 *
 * Prints: unmap_ms=<Enter to prompt gone> map_ms=<Enter to the next window mapped>
 * Build:  cc -O2 -o keytime keytime.c -lX11 -lXtst
 * Usage:  keytime MAIN_WINDOW_ID TITLE [TIMEOUT_S]   (keys: ctrl+shift+f)     */
#define _GNU_SOURCE
#include "xwait.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>

static void key(Display *d, KeySym sym, Bool down)
{
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, CurrentTime);
}

/* The next event, or 0 when the deadline passes first. */
static int next_event(Display *d, XEvent *ev, double deadline)
{
    while (!XPending(d)) {
        double left = deadline - now_ms();
        if (left <= 0)
            return 0;
        wait_for_x(d, left);
    }
    XNextEvent(d, ev);
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: keytime MAIN_WINDOW_ID TITLE [TIMEOUT_S]\n");
        return 2;
    }
    Window mainw = (Window)strtoul(argv[1], NULL, 0);
    const char *title = argv[2];
    double timeout = argc > 3 ? atof(argv[3]) : 60;
    Display *d = xwait_open();
    if (!d)
        return 2;
    int ev_base, err_base, major, minor;
    if (!XTestQueryExtension(d, &ev_base, &err_base, &major, &minor)) {
        fprintf(stderr, "no XTEST\n");
        return 2;
    }
    Window root = DefaultRootWindow(d), prompt;
    int revert;
    XGetInputFocus(d, &prompt, &revert);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);

    double t0 = now_ms(), deadline = t0 + timeout * 1e3, t_unmap = -1, t_map = -1;
    key(d, XK_Return, True);
    key(d, XK_Return, False);
    XFlush(d);
    XEvent ev;
    while (t_unmap < 0 && next_event(d, &ev, deadline))
        if (ev.type == UnmapNotify && ev.xunmap.event == root && ev.xunmap.window == prompt)
            t_unmap = now_ms() - t0;
    if (t_unmap < 0) {
        fprintf(stderr, "the prompt did not close\n");
        return 3;
    }

    XSetInputFocus(d, mainw, RevertToParent, CurrentTime);
    key(d, XK_Control_L, True);
    key(d, XK_Shift_L, True);
    key(d, XK_f, True);
    key(d, XK_f, False);
    key(d, XK_Shift_L, False);
    key(d, XK_Control_L, False);
    XFlush(d);
    while (t_map < 0 && next_event(d, &ev, deadline)) {
        if (watch_if_created(d, root, &ev))
            continue;
        if ((ev.type == MapNotify && ev.xmap.event == root && !ev.xmap.override_redirect &&
             title_has(d, ev.xmap.window, title)) ||
            (ev.type == PropertyNotify && viewable(d, ev.xproperty.window) &&
             title_has(d, ev.xproperty.window, title)))
            t_map = now_ms() - t0;
    }
    if (t_map < 0) {
        fprintf(stderr, "no window titled \"%s\" appeared\n", title);
        return 4;
    }
    printf("unmap_ms=%.1f map_ms=%.1f\n", t_unmap, t_map);
    XCloseDisplay(d);
    return 0;
}
