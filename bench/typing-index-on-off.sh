#!/usr/bin/env bash
# Typing with the symbol index on against off, the real program on one Xvfb
# display (as bench/typing-vs-geany.sh), alternating rounds in one run:
#   on:    a project listing COPIES symlinked copies of the corpus's .php
#          files (7 copies: 49,308 files), with one of its files open; the
#          keys are pressed once the index is built (the program's processor
#          time has stood still for 2 s), so the index, the document's
#          updates while typing and the syntax check all run.
#   off:   a project listing only the same open file: the same document, its
#          syntax check and its own declarations, no project index.
#   start: the key press sent to the X server (XTest, bench/keypaint.c);
#   end:   the first change of the screen after it (XDamage on the root
#          window), and the last change of that burst as a second figure.
# Both sides are timed by the same tool against the same event, each alone
# on the display. Medians over all keys of all rounds; the start-up to the
# index built is reported for the "on" side.
#
# Usage: bench/typing-index-on-off.sh [BUILD_DIR] [ROUNDS] [KEYS] [COPIES]
#   the corpus is $PHP_CORPUS or bench/corpus/php (made when missing).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/bench/desktop-lib.sh"
build="$(cd "${1:-$here/build}" && pwd)"
rounds="${2:-3}"
keys="${3:-15}"
copies="${4:-7}"
ensure_corpus

build_keypaint

# The projects: paths relative to the project file, with the format's "\".
for k in $(seq "$copies"); do ln -s "$corpus" "$work/copy$k"; done
(cd "$work" && find -L copy* -type f -name '*.php' | LC_ALL=C sort) >"$work/files"
# A file of typical size from the middle of the list is the one typed in.
open=$(awk 'NR == int(n / 2)' n="$(wc -l <"$work/files")" "$work/files")
wdx() {
  echo '<WENDLOR_Project>'
  sed -e 's/&/\&amp;/g; s/"/\&quot;/g; s/</\&lt;/g; s#/#\\#g' \
      -e 's/.*/   <file path="&" line="0" publish="True"\/>/'
  echo '   <ftp host="" user="" pass="" folder=""/>'
  echo '   <address address="http://127.0.0.1:8000"/>'
  printf '   <opened path="%s"/>\n' "$(echo "$open" | sed 's#/#\\#g')"
  echo '</WENDLOR_Project>'
}
# The typed file first: both projects open it.
{ echo "$open"; grep -vxF "$open" "$work/files"; } | wdx >"$work/on.wdx"
echo "$open" | wdx >"$work/off.wdx"

start_display

cputicks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }

measure() {
  local side=$1 pid win start t0 t1 still=0
  # A killed run leaves its unsaved text for recovery: no offer in the next.
  rm -rf "$work/state"
  start=$(date +%s%N)
  "$build/quillstone" "$work/$side.wdx" >"$work/$side.log" 2>&1 &
  pid=$!
  win=$(timeout 120 xdotool search --sync --onlyvisible --name "Quillstone.*$(basename "$open")" | tail -1 || true)
  if [ -z "$win" ]; then
    echo "$side: no window within 120 s; round left out" >&2
    kill -9 "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true
    return 0
  fi
  # Built: no processor time used for 2 s running (at most 5 minutes).
  t0=$(cputicks "$pid")
  for _ in $(seq 1500); do
    sleep 0.2
    t1=$(cputicks "$pid")
    if [ "$t1" -le $((t0 + 1)) ]; then still=$((still + 1)); else still=0; fi
    t0=$t1
    [ $still -ge 10 ] && break
  done
  echo "$side $(( ($(date +%s%N) - start) / 1000000 - 2000 ))" >>"$work/ready"
  grep -m1 VmRSS "/proc/$pid/status" | awk -v s="$side" '{print s, $2}' >>"$work/rss"
  xdotool windowfocus --sync "$win"
  xdotool key --clearmodifiers ctrl+End
  sleep 1
  "$work/keypaint" "$win" "$keys" space BackSpace |
    sed -n 's/^key=[0-9]* first_ms=\([0-9.]*\) last_ms=\([0-9.]*\)$/\1 \2/p' >>"$work/$side"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

for r in $(seq "$rounds"); do
  if [ $((r % 2)) -eq 1 ]; then sides=(on off); else sides=(off on); fi
  for side in "${sides[@]}"; do measure "$side"; done
done

echo "typing in $open ($(wc -c <"$work/$open") bytes); project of $(wc -l <"$work/files") PHP files ($copies copies of the corpus) against the file alone"
echo "$rounds rounds x $((2 * keys)) keys, medians in ms; start: key press sent (XTest); end: first / last screen change after it (XDamage)"
for side in on off; do
  f=$(cut -d' ' -f1 "$work/$side" | median); l=$(cut -d' ' -f2 "$work/$side" | median)
  ready=$(awk -v s="$side" '$1 == s {print $2}' "$work/ready" | median)
  rss=$(awk -v s="$side" '$1 == s {print $2}' "$work/rss" | median)
  printf 'index %-3s: first %.1f last %.1f | start to idle %.0f ms | resident %.0f MB\n' "$side" "$f" "$l" "$ready" "$(awk -v r="$rss" 'BEGIN { print r / 1024 }')"
  eval "${side}_first=$f ${side}_last=$l"
done
awk -v a="$on_first" -v b="$off_first" -v c="$on_last" -v d="$off_last" \
  'BEGIN { printf "ratio on / off: first %.3f last %.3f (goal: within 1.05)\n", a / b, c / d }'
