/* keymap - time one key in a running program to the window it opens, as a
 * user sees it: gives MAIN_WINDOW the focus, presses KEY (an X keysym name
 * such as F2; XTest), and waits until a window whose title contains TITLE is
 * mapped. The window is mapped once the command behind the key has done its
 * work and shown its window. Event driven, no polling of X.
 * MAIN_WINDOW may be "title:TEXT" instead of an id: then it first waits for a
 * window whose title contains TEXT to be mapped and presses the key at once,
 * which times how long a window that has just appeared takes to answer.
 *
 * Prints: map_ms=<key to the window mapped>
 * Build:  cc -O2 -o keymap keymap.c -lX11 -lXtst
 * Usage:  keymap MAIN_WINDOW_ID KEY[+KEY...] TITLE [TIMEOUT_S]               */
#define _GNU_SOURCE
#include "xwait.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <stdio.h>
#include <stdlib.h>

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
    if (argc < 4) {
        fprintf(stderr, "usage: keymap MAIN_WINDOW_ID KEY TITLE [TIMEOUT_S]\n");
        return 2;
    }
    const char *mainTitle = strncmp(argv[1], "title:", 6) == 0 ? argv[1] + 6 : NULL;
    Window mainw = mainTitle ? 0 : (Window)strtoul(argv[1], NULL, 0);
    KeySym syms[4];
    int keys = 0;
    char combo[128];
    snprintf(combo, sizeof combo, "%s", argv[2]);
    for (char *part = strtok(combo, "+"); part && keys < 4; part = strtok(NULL, "+"))
        if ((syms[keys++] = XStringToKeysym(part)) == NoSymbol) {
            fprintf(stderr, "no key named %s\n", part);
            return 2;
        }
    const char *title = argv[3];
    double timeout = argc > 4 ? atof(argv[4]) : 60;
    Display *d = xwait_open();
    if (!d)
        return 2;
    Window root = DefaultRootWindow(d);
    XSelectInput(d, root, SubstructureNotifyMask);
    XSync(d, False);
    XEvent ev;
    double deadline = now_ms() + timeout * 1e3;
    while (!mainw) {
        if (!next_event(d, &ev, deadline)) {
            fprintf(stderr, "no window titled \"%s\" appeared\n", mainTitle);
            return 4;
        }
        if (watch_if_created(d, root, &ev))
            continue;
        if (ev.type == MapNotify && ev.xmap.event == root && !ev.xmap.override_redirect &&
            title_has(d, ev.xmap.window, mainTitle))
            mainw = ev.xmap.window;
        else if (ev.type == PropertyNotify && viewable(d, ev.xproperty.window) &&
                 title_has(d, ev.xproperty.window, mainTitle))
            mainw = ev.xproperty.window;
    }
    XSetInputFocus(d, mainw, RevertToParent, CurrentTime);
    XSync(d, False);

    double t0 = now_ms(), t_map = -1;
    deadline = t0 + timeout * 1e3;
    for (int k = 0; k < keys; ++k)
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, syms[k]), True, CurrentTime);
    for (int k = keys - 1; k >= 0; --k)
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, syms[k]), False, CurrentTime);
    XFlush(d);
    while (t_map < 0) {
        if (!next_event(d, &ev, deadline)) {
            fprintf(stderr, "no window titled \"%s\" appeared\n", title);
            return 4;
        }
        if (watch_if_created(d, root, &ev))
            continue;
        if ((ev.type == MapNotify && ev.xmap.event == root && !ev.xmap.override_redirect &&
             title_has(d, ev.xmap.window, title)) ||
            (ev.type == PropertyNotify && viewable(d, ev.xproperty.window) &&
             title_has(d, ev.xproperty.window, title)))
            t_map = now_ms() - t0;
    }
    printf("map_ms=%.1f\n", t_map);
    XCloseDisplay(d);
    return 0;
}
