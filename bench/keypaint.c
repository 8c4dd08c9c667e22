/* keypaint - time keys to pixels in a running editor, as a user sees them.
 *
 * Gives the focus to WINDOW, then ROUNDS times presses KEY1 and KEY2 (XTest,
 * default space then BackSpace, so the text ends as it began and no word
 * completion starts). Each key's time runs from the key press to the first
 * change of the screen that follows (XDamage on the root window, which
 * reports drawing into any window), and to the last change of that burst
 * (no further change for QUIET ms). Before each key the screen must have
 * been still for QUIET ms, so a caret blink or a late repaint of the
 * previous key is not taken for this key's pixels. Event driven.
 *
 * Prints one line per key (key=<n> first_ms=<..> last_ms=<..>) and the
 * medians: first_median_ms=<..> last_median_ms=<..> keys=<n>
 * A key name may start with "ctrl+" (ctrl+Page_Down): Control is held
 * around that key's press and release.
 * Build:  cc -O2 -o keypaint keypaint.c -lX11 -lXtst -lXdamage -lXfixes
 * Usage:  keypaint WINDOW_ID ROUNDS [KEY1 [KEY2 [QUIET_MS]]]                 */
#define _GNU_SOURCE
#include "xwait.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <X11/keysym.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int damage_event;
static Damage damage;

/* Waits up to `ms` for a change of the screen; its time, or -1. */
static double next_damage(Display *d, double ms)
{
    double deadline = now_ms() + ms;
    for (;;) {
        while (XPending(d)) {
            XEvent ev;
            XNextEvent(d, &ev);
            if (ev.type == damage_event + XDamageNotify) {
                double t = now_ms();
                XDamageSubtract(d, damage, None, None);
                XFlush(d);
                return t;
            }
        }
        double left = deadline - now_ms();
        if (left <= 0)
            return -1;
        wait_for_x(d, left);
    }
}

/* Waits until the screen has not changed for `quiet` ms; the last change's
 * time (or `since` when there was none). */
static double settle(Display *d, double quiet, double since)
{
    double last = since, t;
    while ((t = next_damage(d, quiet)) >= 0)
        last = t;
    return last;
}

static int cmp(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return x < y ? -1 : x > y;
}

static double median(double *v, int n)
{
    qsort(v, n, sizeof *v, cmp);
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: keypaint WINDOW_ID ROUNDS [KEY1 [KEY2 [QUIET_MS]]]\n");
        return 2;
    }
    Window target = (Window)strtoul(argv[1], NULL, 0);
    int rounds = atoi(argv[2]);
    const char *names[2] = {argc > 3 ? argv[3] : "space", argc > 4 ? argv[4] : "BackSpace"};
    int control[2] = {0, 0};
    for (int k = 0; k < 2; k++)
        if (strncmp(names[k], "ctrl+", 5) == 0) {
            control[k] = 1;
            names[k] += 5;
        }
    KeySym keys[2] = {XStringToKeysym(names[0]), XStringToKeysym(names[1])};
    double quiet = argc > 5 ? atof(argv[5]) : 150;
    if (rounds < 1 || keys[0] == NoSymbol || keys[1] == NoSymbol) {
        fprintf(stderr, "bad rounds or key name\n");
        return 2;
    }
    Display *d = xwait_open();
    if (!d)
        return 2;
    int err_base, major, minor;
    if (!XTestQueryExtension(d, &err_base, &err_base, &major, &minor) ||
        !XDamageQueryExtension(d, &damage_event, &err_base)) {
        fprintf(stderr, "no XTEST or DAMAGE\n");
        return 2;
    }
    damage = XDamageCreate(d, DefaultRootWindow(d), XDamageReportNonEmpty);
    XSetInputFocus(d, target, RevertToParent, CurrentTime);
    XSync(d, False);
    settle(d, 500, now_ms());

    int n = 0;
    double *first = calloc(2 * rounds, sizeof *first), *last = calloc(2 * rounds, sizeof *last);
    for (int r = 0; r < rounds; r++)
        for (int k = 0; k < 2; k++) {
            settle(d, quiet, now_ms());
            KeyCode code = XKeysymToKeycode(d, keys[k]);
            KeyCode ctrl = XKeysymToKeycode(d, XK_Control_L);
            if (control[k]) {
                XTestFakeKeyEvent(d, ctrl, True, CurrentTime);
                XFlush(d);
            }
            double t0 = now_ms();
            XTestFakeKeyEvent(d, code, True, CurrentTime);
            XTestFakeKeyEvent(d, code, False, CurrentTime);
            if (control[k])
                XTestFakeKeyEvent(d, ctrl, False, CurrentTime);
            XFlush(d);
            double t1 = next_damage(d, 10000);
            if (t1 < 0) {
                fprintf(stderr, "key %d: the screen did not change in 10 s\n", n);
                return 3;
            }
            double t2 = settle(d, quiet, t1);
            first[n] = t1 - t0;
            last[n] = t2 - t0;
            printf("key=%d first_ms=%.1f last_ms=%.1f\n", n, first[n], last[n]);
            n++;
        }
    printf("first_median_ms=%.1f last_median_ms=%.1f keys=%d\n", median(first, n), median(last, n),
           n);
    XDamageDestroy(d, damage);
    XCloseDisplay(d);
    return 0;
}
