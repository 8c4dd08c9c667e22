#!/usr/bin/env bash
# Start-up under one Xvfb display, both programs in the same run:
#   quillstone: process start to exit of `quillstone click Exit1` (the whole
#               start-up plus the first activation), and start to window mapped;
#   Geany:      start to window mapped (the peer figure).
# Usage: bench/startup-vs-geany.sh [BUILD_DIR] [RUNS]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-10}"

need=()
for p in geany libx11-dev xvfb xauth; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}" >/dev/null
fi
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

exit_ms=(); qmap_ms=(); gmap_ms=()
for i in $(seq "$runs"); do
  t0=$(date +%s%N)
  "$build/quillstone" click Exit1 >/dev/null 2>&1
  t1=$(date +%s%N)
  exit_ms+=($(( (t1 - t0) / 1000000 )))
  qmap_ms+=($("$work/mapwait" -s 0 -t 20 -- "$build/quillstone" 2>/dev/null | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p'))
  gmap_ms+=($("$work/mapwait" -s 0 -t 20 -- geany -i -c "$work/geany" 2>/dev/null | sed -n 's/.*map_ms=\([0-9.]*\).*/\1/p'))
done

q_exit=$(printf '%s\n' "${exit_ms[@]}" | median)
q_map=$(printf '%s\n' "${qmap_ms[@]}" | median)
g_map=$(printf '%s\n' "${gmap_ms[@]}" | median)
echo "runs: $runs (medians, ms)"
echo "quillstone click Exit1, start to exit: $q_exit"
echo "quillstone, start to window mapped:    $q_map"
echo "geany, start to window mapped:         $g_map"
awk -v q="$q_exit" -v g="$g_map" 'BEGIN { if (g > 0) printf "ratio quillstone exit / geany map: %.2f\n", q / g }'
