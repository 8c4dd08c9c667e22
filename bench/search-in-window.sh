#!/usr/bin/env bash
# Find in Files as a user runs it, against rg and grep in the same run: the
# real program on a private Xvfb display with a project of every .php file of
# the corpus; for each word and each of RUNS rounds:
#   ours:  Ctrl+Shift+F, the word typed into the prompt, then the time from
#          Enter until the program has shown the rows and answers the next
#          key: keytime.c presses Enter, waits for the prompt to close, and
#          presses Ctrl+Shift+F again, which maps the prompt again only once
#          the search has finished and the window has been painted.
#   base:  the same keys with an empty text, which searches nothing: the cost
#          of the keys, the prompt and the event round trips alone.
#   peers: rg -Fin (-j2, -j1) and grep -rFinI over the same files, output to
#          a file, process start included.
# Medians of RUNS (default 7).
#
# Usage: bench/search-in-window.sh [BUILD_DIR] [RUNS] [WORD...]
#   BUILD_DIR defaults to build; the corpus is $PHP_CORPUS or bench/corpus/php
#   (made by bench/make-php-corpus.sh when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-7}"
shift $(( $# > 2 ? 2 : $# ))
words=("$@")
[ ${#words[@]} -gt 0 ] || words=(cookie tempnam время)
corpus="${PHP_CORPUS:-$here/bench/corpus/php}"
if [ -z "$(find "$corpus" -name '*.php' -print -quit 2>/dev/null)" ]; then
  bash "$here/bench/make-php-corpus.sh" "$corpus" >&2
fi
export LC_ALL=C.UTF-8

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cc -O2 -o "$work/keytime" "$here/bench/keytime.c" -lX11 -lXtst

# The project: every .php file of the corpus, in path order, by full path.
{
  printf '<WENDLOR_Project>\r\n'
  (cd "$corpus" && find . -type f -name '*.php' | sed 's|^\./||' | sort) |
    sed -e 's/&/\&amp;/g' -e 's/"/\&quot;/g' -e 's/</\&lt;/g' |
    while IFS= read -r name; do printf '   <file path="%s/%s" line="0" publish="True"/>\r\n' "$corpus" "$name"; done
  printf '</WENDLOR_Project>\r\n'
} > "$work/corpus.wdx"
files=$(grep -c '<file ' "$work/corpus.wdx")

for n in $(seq 120 220); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY="$display" XDG_CONFIG_HOME="$work/config" QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

"$build/quillstone" "$work/corpus.wdx" >"$work/program.log" 2>&1 &
pids+=($!)
main=$(timeout 30 xdotool search --sync --onlyvisible --name "Quillstone" | tail -1)
sleep 1

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
ms_of() { local t0 t1; t0=$(date +%s%N); "$@" > "$work/peer.out" 2>/dev/null || true; t1=$(date +%s%N); echo $(( (t1 - t0) / 1000 )) | awk '{printf "%.1f", $1 / 1000}'; }

# Opens the prompt, puts TEXT into it, and times Enter to the next prompt.
# Leaves the prompt closed again.
timed_search() {
  local text=$1 prompt out
  xdotool windowfocus --sync "$main"
  xdotool key --clearmodifiers ctrl+shift+f
  prompt=$(timeout 20 xdotool search --sync --onlyvisible --name "Find in Files" | head -1)
  xdotool windowfocus --sync "$prompt"
  xdotool key --clearmodifiers ctrl+a BackSpace
  [ -z "$text" ] || xdotool type --clearmodifiers --delay 5 "$text"
  sleep 0.2
  out=$("$work/keytime" "$main" "Find in Files" 60)
  prompt=$(timeout 20 xdotool search --sync --onlyvisible --name "Find in Files" | head -1)
  xdotool windowfocus --sync "$prompt"
  xdotool key --clearmodifiers Escape
  sleep 0.2
  echo "$out" | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p'
}

echo "project: $files .php files of $corpus; $runs runs, medians in ms"
printf '| word | rows (rg) | window, Enter to rows shown | keys alone | window minus keys | rg -j2 | rg -j1 | grep | ratio window/rg -j2 |\n'
printf '|---|--:|--:|--:|--:|--:|--:|--:|--:|\n'
for word in "${words[@]}"; do
  ours=(); base=(); rg2=(); rg1=(); gr=()
  for _ in $(seq "$runs"); do
    ours+=("$(timed_search "$word")")
    base+=("$(timed_search "")")
    rg2+=("$(cd "$corpus" && ms_of rg -j2 -Fin --no-heading -g '*.php' "$word" .)")
    rows=$(wc -l < "$work/peer.out")
    rg1+=("$(cd "$corpus" && ms_of rg -j1 -Fin --no-heading -g '*.php' "$word" .)")
    gr+=("$(cd "$corpus" && ms_of grep -rFinI --include='*.php' "$word" .)")
  done
  o=$(printf '%s\n' "${ours[@]}" | median); b=$(printf '%s\n' "${base[@]}" | median)
  r2=$(printf '%s\n' "${rg2[@]}" | median); r1=$(printf '%s\n' "${rg1[@]}" | median)
  g=$(printf '%s\n' "${gr[@]}" | median)
  awk -v w="$word" -v n="$rows" -v o="$o" -v b="$b" -v r2="$r2" -v r1="$r1" -v g="$g" 'BEGIN {
    printf "| %s | %d | %.1f | %.1f | %.1f | %.1f | %.1f | %.1f | %.2f |\n", w, n, o, b, o - b, r2, r1, g, o / r2 }'
done
kill -0 "${pids[1]}" 2>/dev/null || { echo "the program ended early; its output:" >&2; cat "$work/program.log" >&2; exit 1; }
