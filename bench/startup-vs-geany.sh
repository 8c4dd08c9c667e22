#!/usr/bin/env bash
# Start-up under one Xvfb display, both programs in the same run, in
# alternating order, each measured the same way (mapwait.c):
#   mapped: start (fork) to the first top-level window mapped (MapNotify).
#           Quillstone with no parameters; Geany with a fresh configuration.
#   exit:   start (fork) to the process's exit, Ctrl+Q pressed (XTest) in the
#           window the moment it is mapped: the whole start-up, the first
#           key and the way out, the same event on both sides.
# A third figure, Quillstone alone: `quillstone click Exit1`, start to exit
# (start-up, first activation and the Exit command run by the program itself).
# Ratios: mapped / mapped and exit / exit. Medians of RUNS.
# Usage: bench/startup-vs-geany.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-10}"

need=()
for p in geany libx11-dev libxtst-dev xvfb xauth; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
work="$(mktemp -d)"
trap 'kill ${xvfb_pid:-0} 2>/dev/null || true; rm -rf "$work"' EXIT
cc -O2 -DMAPWAIT_QUIT -o "$work/mapwait" "$here/bench/mapwait.c" -lX11 -lXtst

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
sleep 1
unset QT_QPA_PLATFORM
export DISPLAY="$display" QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$work/config"

median() { sort -n | awk '{a[NR]=$1} END {print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
field() { sed -n "s/.*$1=\([0-9.]*\).*/\1/p"; }

click_ms=(); qmap_ms=(); gmap_ms=(); qexit_ms=(); gexit_ms=()
quill() { "$work/mapwait" "$@" -t 20 -- "$build/quillstone" 2>/dev/null; }
geany_() { "$work/mapwait" "$@" -t 20 -- geany -i -c "$work/geany" 2>/dev/null; }
for i in $(seq "$runs"); do
  t0=$(date +%s%N)
  "$build/quillstone" click Exit1 >/dev/null 2>&1
  t1=$(date +%s%N)
  click_ms+=($(( (t1 - t0) / 1000000 )))
  if [ $((i % 2)) -eq 1 ]; then
    qmap_ms+=($(quill -s 0 | field map_ms)); gmap_ms+=($(geany_ -s 0 | field map_ms))
    qexit_ms+=($(quill -q | field exit_ms)); gexit_ms+=($(geany_ -q | field exit_ms))
  else
    gmap_ms+=($(geany_ -s 0 | field map_ms)); qmap_ms+=($(quill -s 0 | field map_ms))
    gexit_ms+=($(geany_ -q | field exit_ms)); qexit_ms+=($(quill -q | field exit_ms))
  fi
done

q_click=$(printf '%s\n' "${click_ms[@]}" | median)
q_map=$(printf '%s\n' "${qmap_ms[@]}" | median)
g_map=$(printf '%s\n' "${gmap_ms[@]}" | median)
q_exit=$(printf '%s\n' "${qexit_ms[@]}" | median)
g_exit=$(printf '%s\n' "${gexit_ms[@]}" | median)
echo "runs: $runs, alternating order (medians, ms)"
echo "start to window mapped:          quillstone $q_map   geany $g_map"
echo "start to exit, Ctrl+Q at map:    quillstone $q_exit   geany $g_exit"
echo "quillstone click Exit1, start to exit: $q_click"
awk -v q="$q_map" -v g="$g_map" 'BEGIN { if (g > 0) printf "ratio mapped / mapped (quillstone / geany): %.2f\n", q / g }'
awk -v q="$q_exit" -v g="$g_exit" 'BEGIN { if (g > 0) printf "ratio exit / exit (quillstone / geany):     %.2f\n", q / g }'
