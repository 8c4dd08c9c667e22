#!/usr/bin/env bash
# Shared steps of the end-to-end journeys: a private X display, the real
# program started on it, real keys typed with xdotool, and a screenshot of
# every journey left in the build folder.
set -euo pipefail

E2E_BUILD="${E2E_BUILD:?build folder}"
E2E_NAME="${E2E_NAME:?journey name}"
E2E_WORK="$(mktemp -d)"
E2E_SHOTS="$E2E_BUILD/e2e-screenshots"
mkdir -p "$E2E_SHOTS"
export XDG_CONFIG_HOME="$E2E_WORK/config" XDG_DATA_HOME="$E2E_WORK/data" XDG_STATE_HOME="$E2E_WORK/state"
export QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM

e2e_pids=()
cleanup() {
  local status=$?
  # A failed journey leaves the screen as it was when it failed.
  if [ $status -ne 0 ] && [ -n "${DISPLAY:-}" ]; then
    import -display "$DISPLAY" -window root "$E2E_SHOTS/$E2E_NAME.png" 2>/dev/null || true
  fi
  # ...and what the program said, which goes with the work folder otherwise.
  if [ $status -ne 0 ] && [ -f "$E2E_WORK/program.log" ]; then
    cp "$E2E_WORK/program.log" "$E2E_SHOTS/$E2E_NAME.log" 2>/dev/null || true
  fi
  for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$E2E_WORK"
  if [ $status -ne 0 ]; then echo "journey $E2E_NAME failed; screenshot: $E2E_SHOTS/$E2E_NAME.png" >&2; fi
  exit $status
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# The screenshot a passing journey leaves: the window just before it closes.
snapshot() {
  sleep 0.3
  import -display "$DISPLAY" -window root "$E2E_SHOTS/$E2E_NAME.png"
}

# A display of our own. Xvfb picks the free number itself and writes it when
# it accepts connections: journeys running side by side never share one.
start_display() {
  local number="$E2E_WORK/display-number"
  : >"$number"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  e2e_pids+=($!)
  for _ in $(seq 300); do
    if grep -qE '^[0-9]+$' "$number" 2>/dev/null; then
      export DISPLAY=":$(head -n 1 "$number")"
      xdpyinfo >/dev/null 2>&1 && return 0
    fi
    sleep 0.1
  done
  fail "no X display could be started"
}

# Starts the program with the given parameters and waits for its window.
# On a loaded machine a fresh Xvfb has now and then refused the program's
# first connection although xdpyinfo had just connected; that start is
# retried, anything else the program says is the journey's to judge.
start_program() {
  local try
  for try in 1 2 3; do
    "$E2E_BUILD/quillstone" "$@" >"$E2E_WORK/program.log" 2>&1 &
    PROGRAM_PID=$!
    e2e_pids+=($PROGRAM_PID)
    for _ in $(seq 15); do
      kill -0 "$PROGRAM_PID" 2>/dev/null || break
      sleep 0.1
    done
    kill -0 "$PROGRAM_PID" 2>/dev/null && break
    grep -q "could not connect to display" "$E2E_WORK/program.log" || break
    echo "the display refused the program (try $try); starting it again" >&2
    sleep 1
  done
  focus_main
}

# Prints the ids of the windows `xdotool search ARGS` finds, waiting up to a
# minute for one. xdotool reads every window's properties and dies of
# BadWindow when one goes away meanwhile (a menu, a tooltip): search again.
find_windows() {
  local deadline=$((SECONDS + 60)) out
  while ((SECONDS < deadline)); do
    if out=$(xdotool search "$@" 2>/dev/null) && [ -n "$out" ]; then
      echo "$out"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Without a window manager the focus does not come back by itself after a
# dialog closes: give it to the main window before each key. The window is
# looked up by its title each time, as a user's tool would find it.
focus_main() {
  MAIN_WINDOW=$(find_windows --onlyvisible --name "^(.* - )?Quillstone( - .*)?$" | tail -1) || true
  [ -n "$MAIN_WINDOW" ] || fail "main window not found"
  xdotool windowfocus --sync "$MAIN_WINDOW"
  sleep 0.2
}

keys() { xdotool key --clearmodifiers --delay 60 "$@"; sleep 0.3; }
type_text() { xdotool type --clearmodifiers --delay 20 "$1"; sleep 0.3; }

# Waits for a window whose title contains the text; prints its id.
wait_window() {
  local id
  id=$(find_windows --onlyvisible --name "$1" | head -1) || true
  [ -n "$id" ] || fail "window \"$1\" did not appear"
  echo "$id"
}

# Waits until the program has exited by itself.
wait_exit() {
  for _ in $(seq 100); do
    kill -0 "$PROGRAM_PID" 2>/dev/null || return 0
    sleep 0.1
  done
  fail "program did not exit"
}

# A copy of the demo project to work on.
copy_demo() {
  cp -R "$E2E_SOURCE/data/demo" "$E2E_WORK/demo"
  rm -f "$E2E_WORK/demo/.gitattributes"
  DEMO="$E2E_WORK/demo"
}

# A loopback port nothing listens on now.
free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Run has put the caret on the warning's line of broken.php: mark that line,
# save, leave, and check the mark landed on line 4.
mark_landing_and_exit() {
  find_windows --name "Quillstone - $DEMO/broken.php" >/dev/null || fail "broken.php was not opened"
  focus_main
  keys Home
  type_text "/* landed */ "
  keys ctrl+s
  snapshot
  focus_main
  keys alt+x
  wait_exit
  sed -n 4p "$DEMO/broken.php" | grep -q '^/\* landed \*/ echo' ||
    fail "the caret was not on the warning's line: $(sed -n 4p "$DEMO/broken.php")"
}
