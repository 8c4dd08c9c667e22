#!/usr/bin/env bash
# Typing as a user sees it, both programs on one Xvfb display (Mesa's
# software GL, as on machines without a GPU driver), in alternating rounds:
#   each side: the program started on a 10 MB PHP file (the corpus's .php
#              files joined), the caret moved to the end of the file (and, in
#              a second figure, to its start) with Ctrl+End / Ctrl+Home; then
#              keypaint.c presses Space and BackSpace KEYS times each.
#   start:     the key press sent to the X server (XTest);
#   end:       the first change of the screen after it (XDamage on the root
#              window), and the last change of that burst as a second figure.
# Both sides are timed by the same tool against the same event; the program
# under test runs alone on the display while it is timed.
# Medians over all keys of all rounds.
#
# Usage: bench/typing-vs-geany.sh [BUILD_DIR] [ROUNDS] [KEYS]
#   the corpus is $PHP_CORPUS or bench/corpus/php (made when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/bench/desktop-lib.sh"
build="$(cd "${1:-$here/build}" && pwd)"
rounds="${2:-3}"
keys="${3:-15}"
ensure_corpus

build_keypaint

# 10 MB of real PHP, whole lines (the reader stops early: no pipefail here).
set +o pipefail
(cd "$corpus" && find . -type f -name '*.php' | LC_ALL=C sort | xargs cat 2>/dev/null) |
  head -c 10485760 | sed '$d' > "$work/big.php"
set -o pipefail

start_display

# One side: start it, wait for its window, go to WHERE, time the keys, stop it.
# Appends "first last" lines to $work/<side>-<where>.
measure() {
  local side=$1 where=$2 pid win
  case $side in
    quillstone)
      "$build/quillstone" "$work/big.php" >"$work/$side.log" 2>&1 &
      pid=$!
      win=$(timeout 60 xdotool search --sync --onlyvisible --name "Quillstone.*big.php" | tail -1 || true) ;;
    geany | geany-norescan)
      # geany-norescan: Geany with its symbol list's updates while typing off
      # (Preferences, "Symbol list update frequency" 0), its fastest typing.
      mkdir -p "$work/$side"
      [ $side = geany ] || printf '[geany]\nautocompletion_update_freq=0\n' > "$work/$side/geany.conf"
      geany -i -c "$work/$side" "$work/big.php" >"$work/$side.log" 2>&1 &
      pid=$!
      win=$(timeout 60 xdotool search --sync --onlyvisible --name "big.php.*Geany" | tail -1 || true) ;;
  esac
  if [ -z "$win" ]; then
    echo "$side: no window within 60 s; round left out" >&2
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return 0
  fi
  sleep 3
  xdotool windowfocus --sync "$win"
  xdotool key --clearmodifiers "ctrl+$where"
  sleep 1
  "$work/keypaint" "$win" "$keys" space BackSpace |
    sed -n 's/^key=[0-9]* first_ms=\([0-9.]*\) last_ms=\([0-9.]*\)$/\1 \2/p' >> "$work/$side-$where"
  # The text is changed (then changed back): neither may ask to save it.
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

for r in $(seq "$rounds"); do
  for where in End Home; do
    # Alternate which side goes first.
    if [ $((r % 2)) -eq 1 ]; then sides=(quillstone geany geany-norescan)
    else sides=(geany-norescan geany quillstone); fi
    for side in "${sides[@]}"; do measure "$side" "$where"; done
  done
done

echo "typing on a 10 MB PHP file ($(wc -c < "$work/big.php") bytes, $(wc -l < "$work/big.php") lines), $rounds rounds x $((2 * keys)) keys, medians in ms"
echo "start: key press sent (XTest); end: first / last screen change after it (XDamage)"
for where in End Home; do
  q1=$(cut -d' ' -f1 "$work/quillstone-$where" | median); q2=$(cut -d' ' -f2 "$work/quillstone-$where" | median)
  for peer in geany geany-norescan; do
    g1=$(cut -d' ' -f1 "$work/$peer-$where" | median); g2=$(cut -d' ' -f2 "$work/$peer-$where" | median)
    awk -v w="$where" -v p="$peer" -v q1="$q1" -v q2="$q2" -v g1="$g1" -v g2="$g2" 'BEGIN {
      printf "at Ctrl+%s: quillstone first %.1f last %.1f | %s first %.1f last %.1f | ratio first %.2f last %.2f\n",
        w, q1, q2, p, g1, g2, (g1 > 0 ? q1 / g1 : 0), (g2 > 0 ? q2 / g2 : 0) }'
  done
done
