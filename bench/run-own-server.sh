#!/usr/bin/env bash
# Run (Alt+R) on a fresh start of the real program with its own PHP server:
# under one Xvfb display, each run starts quillstone on a copy of the demo
# project with the run address on a free port (nothing listens there), types
# Alt+R with xdotool and times, with keytitle.c, from the key to the window
# title naming the failing file: by then Run has started `php -S`, waited for
# it, fetched the page, captured the warning and opened the file with the caret
# on its line (the caret is set in the same step as the title). The first run
# also checks, by typing there, that the caret is on the warning's line. After
# each run the program exits and no php may be left on the port.
# Usage: bench/run-own-server.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-10}"

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/keytitle" "$here/bench/keytitle.c" -lX11

display=""
for n in $(seq 230 330); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free display" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display"
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
unset QT_QPA_PLATFORM
export QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"

demo="$work/demo"
cp -R "$here/data/demo" "$demo"
rm -f "$demo/.gitattributes"
{
  echo '<?php'
  for i in $(seq 2 39); do echo "// line $i of a page with a mistake on line 40"; done
  echo "\$prices = []; echo \$prices['missing'];"
  for i in $(seq 41 80); do echo "echo '<p>line $i</p>';"; done
} > "$demo/broken.php"
cp "$demo/demo.wdx" "$work/demo.wdx.orig"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
# The window is looked up each time: Qt may create its native window anew.
focus_main() {
  local main
  for _ in $(seq 20); do
    main=$(timeout 20 xdotool search --sync --onlyvisible --name "demo - Quillstone" | tail -1) || true
    [ -n "$main" ] && xdotool windowfocus --sync "$main" 2>/dev/null && { sleep 0.2; return 0; }
    sleep 0.2
  done
  echo "the main window was not found" >&2; exit 1
}
php_on() { pgrep -f -- "-S 127.0.0.1:$1 " || true; }
median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

times=()
for run in $(seq "$runs"); do
  cp "$work/demo.wdx.orig" "$demo/demo.wdx"
  port=$(free_port)
  "$build/quillstone" "$demo/demo.wdx" address "http://127.0.0.1:$port/broken.php" >"$work/program.log" 2>&1 &
  program=$!
  pids+=($program)
  focus_main
  sleep 0.3
  ms=$("$work/keytitle" -r "demo - Quillstone" -T "broken.php" -t 30 -- xdotool key --clearmodifiers alt+r \
       | sed -n 's/key_ms=//p')
  [ -n "$(php_on "$port")" ] || { echo "run $run: no php server on port $port" >&2; exit 1; }
  times+=("$ms")
  focus_main
  if [ "$run" = 1 ]; then
    xdotool key --clearmodifiers Home; sleep 0.2
    xdotool type --clearmodifiers "/* caret */ "; sleep 0.2
    xdotool key --clearmodifiers ctrl+s; sleep 0.5
    sed -n 40p "$demo/broken.php" | grep -q '^/\* caret \*/ \$prices' \
      || { echo "the caret was not on line 40: $(sed -n 40p "$demo/broken.php")" >&2; exit 1; }
    sed -i 's|^/\* caret \*/ ||' "$demo/broken.php"
    focus_main
  fi
  xdotool key --clearmodifiers alt+x
  for _ in $(seq 100); do kill -0 "$program" 2>/dev/null || break; sleep 0.05; done
  kill -0 "$program" 2>/dev/null && { echo "run $run: the program did not exit" >&2; exit 1; }
  for _ in $(seq 20); do [ -z "$(php_on "$port")" ] && break; sleep 0.05; done
  [ -z "$(php_on "$port")" ] || { echo "run $run: php left on port $port" >&2; exit 1; }
  echo "run $run: Alt+R to the caret on the error line: $ms ms" >&2
done

echo "runs: $runs; the caret was on the error line; no php was left after any exit"
echo "Alt+R to the caret on the error line, fresh start, own server, median ms: $(printf '%s\n' "${times[@]}" | median)"
echo "min / max ms: $(printf '%s\n' "${times[@]}" | sort -n | head -1) / $(printf '%s\n' "${times[@]}" | sort -n | tail -1)"
