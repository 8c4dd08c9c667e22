#!/usr/bin/env bash
# A project of seven copies of the PHP corpus (about 49,000 entries) as a user
# opens it, and Functions... (F2) over one, three and seven copies against
# grep in the same run, on a private Xvfb display. The copies are hard links
# (cp -al) in bench/corpus/copies, made on first use.
#
# Opening, STARTS times (default 20), the program alone on the display:
#   starts:  the fork of `quillstone x7.wdx` (mapwait.c)
#   mapped:  its main window mapped (MapNotify on the root)
#   loaded:  its caption names the project (the file read, its document open)
#   first key: from the moment the window maps, Ctrl+G pressed at once
#            (keymap.c, XTest) to the "Goto Line" prompt mapped: how long the
#            window that has appeared stays deaf (a separate start)
#   answered: after loaded, Ctrl+G answered within 30 s; a start whose window,
#            caption or prompt does not come within 120 s never answered.
# Functions..., RUNS times per size (default 5), once the program is idle
# (its CPU time still for a second):
#   ours:  F2 pressed (XTest) to the "Project Functions" window mapped: the
#          scan of every file, the sort and the list shown
#   grep:  fork to exit of grep -rnE '^[[:space:]]*function [^[:space:]]'
#          --include='*.php' over the same folders, output to a file
# Medians; the ratio is ours / grep.
#
# Usage: bench/large-project.sh [BUILD_DIR] [STARTS] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/bench/desktop-lib.sh"
build="$(cd "${1:-$here/build}" && pwd)"
starts="${2:-20}"
runs="${3:-5}"
ensure_corpus
export LC_ALL=C.UTF-8
copies="$here/bench/corpus/copies"

cc -O2 -o "$work/mapwait" "$here/bench/mapwait.c" -lX11
cc -O2 -o "$work/keymap" "$here/bench/keymap.c" -lX11 -lXtst

# x1, x3, x7: the corpus side by side k times, hard-linked; one project each
# of every .php file, relative paths.
for k in 1 3 7; do
  dir="$copies/x$k"
  if [ ! -f "$dir/x$k.wdx" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    for c in $(seq "$k"); do cp -al "$corpus" "$dir/copy$c"; done
    {
      printf '<WENDLOR_Project>\r\n'
      (cd "$dir" && find . -type f -name '*.php' | sed 's|^\./||' | sort) |
        sed -e 's/&/\&amp;/g' -e 's/"/\&quot;/g' -e 's/</\&lt;/g' |
        while IFS= read -r name; do printf '   <file path="%s" line="0" publish="True"/>\r\n' "$name"; done
      printf '</WENDLOR_Project>\r\n'
    } > "$dir/x$k.wdx.part"
    mv "$dir/x$k.wdx.part" "$dir/x$k.wdx"
  fi
done

start_display

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
# Waits until the process has used less than 3 ticks of CPU in a second.
wait_idle() {
  local pid=$1 before after
  for _ in $(seq 120); do
    before=$(cpu_ticks "$pid"); sleep 1; after=$(cpu_ticks "$pid")
    [ $((after - before)) -lt 3 ] && return 0
  done
}

x7="$copies/x7/x7.wdx"
entries=$(grep -c '<file ' "$x7")
echo "== opening x7.wdx ($entries entries), $starts starts"
maps=(); loads=(); firsts=(); answered=0
for s in $(seq "$starts"); do
  export XDG_CONFIG_HOME="$work/config-$s"
  out=$("$work/mapwait" -T "x7 - " -s 0 -t 120 \
    -x "\"$work/keymap\" \"\$MAPWAIT_WINDOW\" Control_L+g 'Goto Line' 30 > \"$work/answer\" 2>&1" \
    -- "$build/quillstone" "$x7" 2>/dev/null || true)
  map=$(sed -n 's/.*map_ms=\([0-9.-]*\).*/\1/p' <<<"$out")
  title=$(sed -n 's/.*title_ms=\([0-9.-]*\).*/\1/p' <<<"$out")
  answer=$(sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p' "$work/answer" 2>/dev/null || true)
  rm -f "$work/answer"
  if [ -n "$title" ] && [ "$title" != "-1.0" ] && [ -n "$answer" ]; then
    answered=$((answered + 1)); maps+=("$map"); loads+=("$title")
  else
    echo "start $s never answered: $out" >&2
  fi
  # The first key from the moment the window maps (its own start).
  export XDG_CONFIG_HOME="$work/config-first-$s"
  "$build/quillstone" "$x7" >/dev/null 2>&1 &
  prog=$!
  first=$("$work/keymap" "title:Quillstone" Control_L+g "Goto Line" 120 2>/dev/null | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p' || true)
  kill "$prog" 2>/dev/null || true; wait "$prog" 2>/dev/null || true
  [ -n "$first" ] && firsts+=("$first")
done
printf '| starts answered | fork to mapped | fork to loaded | window mapped to first key answered |\n|--:|--:|--:|--:|\n'
printf '| %d of %d | %s | %s | %s |\n' "$answered" "$starts" \
  "$(printf '%s\n' "${maps[@]}" | median)" "$(printf '%s\n' "${loads[@]}" | median)" \
  "$(printf '%s\n' "${firsts[@]}" | median)"

echo
echo "== Functions... (F2) against grep, $runs runs each"
printf '| project | entries | rows (grep) | ours: F2 to list shown | grep | ratio |\n|---|--:|--:|--:|--:|--:|\n'
for k in 1 3 7; do
  dir="$copies/x$k"
  export XDG_CONFIG_HOME="$work/config-f2-$k"
  "$build/quillstone" "$dir/x$k.wdx" >"$work/program.log" 2>&1 &
  prog=$!
  main=$(timeout 120 xdotool search --sync --onlyvisible --name "x$k - Quillstone" | head -1)
  wait_idle "$prog"
  ours=(); peer=()
  for _ in $(seq "$runs"); do
    ours+=("$("$work/keymap" "$main" F2 "Project Functions" 120 | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p')")
    sleep 0.5
    xdotool key --clearmodifiers Escape
    sleep 0.5
    t0=$(date +%s%N)
    (cd "$dir" && grep -rnE '^[[:space:]]*function [^[:space:]]' --include='*.php' . > "$work/grep.out" || true)
    t1=$(date +%s%N)
    peer+=("$(( (t1 - t0) / 1000 ))")
  done
  kill "$prog" 2>/dev/null || true; wait "$prog" 2>/dev/null || true
  o=$(printf '%s\n' "${ours[@]}" | median)
  g=$(printf '%s\n' "${peer[@]}" | median | awk '{printf "%.1f", $1 / 1000}')
  awk -v k="$k" -v e="$(grep -c '<file ' "$dir/x$k.wdx")" -v r="$(wc -l < "$work/grep.out")" -v o="$o" -v g="$g" \
    'BEGIN { printf "| x%s | %d | %d | %.1f | %.1f | %.2f |\n", k, e, r, o, g, o / g }'
done
