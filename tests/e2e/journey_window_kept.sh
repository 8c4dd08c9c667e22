#!/usr/bin/env bash
# The main window is created once: its X window stays the same across the
# first page the preview shows (the browser engine starting up inside it).
# The window also carries the program's class and icon, and the common keys
# reach their commands.
source "$(dirname "$0")/lib.sh"
copy_demo
port=$(free_port)
php -S "127.0.0.1:$port" -t "$DEMO" >"$E2E_WORK/php.log" 2>&1 &
e2e_pids+=($!)
for _ in $(seq 50); do (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null
focus_main
before="$MAIN_WINDOW"

# The desktop file, the window class and the icon agree.
class=$(xprop -id "$before" WM_CLASS)
grep -q '"quillstone", "quillstone"' <<<"$class" || fail "window class: $class"
grep -q '^StartupWMClass=quillstone$' "$E2E_SOURCE/data/quillstone.desktop" || fail "desktop file names another class"
icon=$(xprop -id "$before" _NET_WM_ICON)
grep -q 'Icon (' <<<"$icon" || fail "the window has no icon"

# The preview's part of the screen, as a list of the colours it shows.
preview_colours() { import -display "$DISPLAY" -window root -crop 1280x150+0+830 +repage -colors 16 -format '%c' histogram:info:- | sort; }
empty_preview=$(preview_colours)

# The first page in the preview: typed into its address box.
keys ctrl+l ctrl+a
type_text "127.0.0.1:$port/index.php"
keys Return
for _ in $(seq 100); do grep -q 'GET /index.php' "$E2E_WORK/php.log" && break; sleep 0.1; done
grep -q 'GET /index.php' "$E2E_WORK/php.log" || fail "the preview did not ask for the page"
sleep 2

after=$(xdotool search --onlyvisible --name "^(.* - )?Quillstone( - .*)?$")
[ "$after" = "$before" ] || fail "the main window was created again: $before before, $after after the first page"
xwininfo -id "$before" | grep -q 'Map State: IsViewable' || fail "the first window is no longer shown"
# The page is drawn in the window, not only asked for.
[ "$(preview_colours)" != "$empty_preview" ] || fail "the preview shows no page"

# Ctrl+H opens Find and Replace in the window that stayed; Escape closes it.
xdotool windowfocus --sync "$before"
keys ctrl+k ctrl+h
type_text "demo"
keys Escape
snapshot
# Ctrl+Q leaves like Exit.
focus_main
keys ctrl+q
wait_exit
echo "journey window_kept passed"
