#!/usr/bin/env bash
# Switching between two open 5 MB PHP files as a user sees it, both programs
# on one Xvfb display, in alternating rounds:
#   each side: the program started with both files open in tabs (Quillstone
#              on a project that remembers the two tabs, Geany with both
#              files on its command line); keypaint.c then presses
#              Ctrl+PageDown and Ctrl+PageUp KEYS times each, the key both
#              programs switch tabs with.
#   start:     the key press sent to the X server (XTest; Control is held
#              down just before it);
#   end:       the first change of the screen after it (XDamage on the root
#              window), and the last change of that burst as a second figure.
# Both sides are timed by the same tool against the same event; the program
# under test runs alone on the display while it is timed.
# Medians over all keys of all rounds.
#
# Usage: bench/tabs-vs-geany.sh [BUILD_DIR] [ROUNDS] [KEYS]
#   the corpus is $PHP_CORPUS or bench/corpus/php (made when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/bench/desktop-lib.sh"
build="$(cd "${1:-$here/build}" && pwd)"
rounds="${2:-3}"
keys="${3:-10}"
ensure_corpus

build_keypaint

# Two different 5 MB stretches of real PHP, whole lines (the readers stop
# early: no pipefail here).
set +o pipefail
mkdir -p "$work/site"
(cd "$corpus" && find . -type f -name '*.php' | LC_ALL=C sort | xargs cat 2>/dev/null) |
  head -c 5242880 | sed '$d' > "$work/site/first.php"
(cd "$corpus" && find . -type f -name '*.php' | LC_ALL=C sort -r | xargs cat 2>/dev/null) |
  head -c 5242880 | sed '$d' > "$work/site/second.php"
set -o pipefail
cat > "$work/site/tabs.wdx" <<XML
<WENDLOR_Project>
   <file path="first.php" line="0" publish="True"/>
   <file path="second.php" line="0" publish="True"/>
   <opened path="$work/site/second.php"/>
   <tab path="first.php"/>
   <tab path="second.php"/>
</WENDLOR_Project>
XML

start_display

# One side: start it with both files open, wait for its window, time the
# switches, stop it. Appends "first last" lines to $work/<side>.
measure() {
  local side=$1 pid win
  case $side in
    quillstone)
      "$build/quillstone" "$work/site/tabs.wdx" >"$work/$side.log" 2>&1 &
      pid=$!
      win=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillstone.*second.php" | tail -1 || true) ;;
    geany)
      mkdir -p "$work/$side.conf"
      geany -i -c "$work/$side.conf" "$work/site/first.php" "$work/site/second.php" >"$work/$side.log" 2>&1 &
      pid=$!
      win=$(timeout 60 xdotool search --sync --onlyvisible --name "second.php.*Geany" | tail -1 || true) ;;
  esac
  if [ -z "$win" ]; then
    echo "$side: no window within 60 s; round left out" >&2
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return 0
  fi
  sleep 3
  xdotool windowfocus --sync "$win"
  sleep 1
  "$work/keypaint" "$win" "$keys" ctrl+Page_Up ctrl+Page_Down |
    sed -n 's/^key=[0-9]* first_ms=\([0-9.]*\) last_ms=\([0-9.]*\)$/\1 \2/p' >> "$work/$side"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then sides=(quillstone geany); else sides=(geany quillstone); fi
  for side in "${sides[@]}"; do measure "$side"; done
done

echo "switching tabs between two 5 MB PHP files ($(wc -c < "$work/site/first.php") and $(wc -c < "$work/site/second.php") bytes), $rounds rounds x $((2 * keys)) keys, medians in ms"
echo "start: Ctrl+PageUp/PageDown press sent (XTest); end: first / last screen change after it (XDamage)"
q1=$(cut -d' ' -f1 "$work/quillstone" | median); q2=$(cut -d' ' -f2 "$work/quillstone" | median)
g1=$(cut -d' ' -f1 "$work/geany" | median); g2=$(cut -d' ' -f2 "$work/geany" | median)
awk -v q1="$q1" -v q2="$q2" -v g1="$g1" -v g2="$g2" 'BEGIN {
  printf "quillstone first %.1f last %.1f | geany first %.1f last %.1f | ratio first %.2f last %.2f\n",
    q1, q2, g1, g2, (g1 > 0 ? q1 / g1 : 0), (g2 > 0 ? q2 / g2 : 0) }'
