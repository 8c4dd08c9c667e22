#!/usr/bin/env bash
# Idle memory, both programs on one Xvfb display in alternating rounds:
#   each side: started with no file (Quillstone with no parameters, Geany with
#              a fresh configuration), its first window mapped (mapwait.c),
#              then SETTLE seconds of idle;
#   measure:   PSS (proportional set size: private pages whole, shared pages
#              divided by their sharers) of the process and all its
#              descendants, from /proc/PID/smaps_rollup, then the process is
#              stopped.
# Medians of RUNS, and for the last Quillstone run what its PSS is made of
# (the largest mappings by PSS, anonymous memory as one line).
# Usage: bench/memory-vs-geany.sh [BUILD_DIR] [RUNS] [SETTLE_S]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-5}"
settle="${3:-5}"

work="$(mktemp -d)"
trap 'kill ${xvfb_pid:-0} 2>/dev/null || true; rm -rf "$work"' EXIT
cc -O2 -o "$work/mapwait" "$here/bench/mapwait.c" -lX11

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
unset QT_QPA_PLATFORM
export DISPLAY="$display" QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$work/config"

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }

# PSS in kB of a process and its descendants; with a second argument, also
# writes the per-mapping breakdown of the first process there.
tree_pss() {
  local root=$1 pids p total=0 kb
  pids=$(ps -e -o pid=,ppid= | awk -v r="$root" '{c[$2]=c[$2] " " $1} END {
    n = split(r, q, " "); out = r
    while (n > 0) { p = q[n--]; m = split(c[p], k, " "); for (i = 1; i <= m; i++) { out = out " " k[i]; q[++n] = k[i] } }
    print out }')
  for p in $pids; do
    kb=$(awk '/^Pss:/ {print $2}' "/proc/$p/smaps_rollup" 2>/dev/null || echo 0)
    total=$((total + ${kb:-0}))
  done
  if [ $# -gt 1 ]; then
    awk '/^[0-9a-f]+-[0-9a-f]+ / { name = (NF >= 6 ? $6 : "[anonymous]") }
         /^Pss:/ { pss[name] += $2 }
         END { for (n in pss) printf "%8d kB  %s\n", pss[n], n }' "/proc/$root/smaps" |
      sort -rn | head -25 > "$2"
  fi
  echo "$total"
}

# One side: start, wait for the window, idle, measure, stop.
measure() {
  local side=$1 pid
  case $side in
    quillstone) "$build/quillstone" >/dev/null 2>&1 & ;;
    geany) geany -i -c "$work/geany" >/dev/null 2>&1 & ;;
  esac
  pid=$!
  timeout 30 xdotool search --sync --onlyvisible --pid "$pid" >/dev/null 2>&1 || true
  sleep "$settle"
  if [ "$side" = quillstone ]; then tree_pss "$pid" "$work/breakdown"; else tree_pss "$pid"; fi
  kill "$pid" 2>/dev/null || true
  sleep 0.5
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

q=(); g=()
for i in $(seq "$runs"); do
  if [ $((i % 2)) -eq 1 ]; then q+=($(measure quillstone)); g+=($(measure geany))
  else g+=($(measure geany)); q+=($(measure quillstone)); fi
done
qm=$(printf '%s\n' "${q[@]}" | median)
gm=$(printf '%s\n' "${g[@]}" | median)
echo "idle PSS of the process tree after ${settle} s, medians of $runs (kB): quillstone $qm  geany $gm"
awk -v q="$qm" -v g="$gm" 'BEGIN { printf "quillstone %.1f MB, geany %.1f MB, ratio %.2f\n", q / 1024, g / 1024, q / g }'
echo "quillstone's largest parts (last run, PSS by mapping):"
cat "$work/breakdown"
