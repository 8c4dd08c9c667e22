#!/usr/bin/env bash
# Publishing speed of Quillstone's engine against lftp's mirror, to the same
# local pyftpdlib server in the same run: 1,000 small files in 30 folders,
# then one 100 MB file. Each tool uploads into fresh remote folders, so both
# create the folders they need; the uploaded trees are compared with the
# source byte for byte.
#
#   bench/publish-vs-lftp.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR holds bench/bench_net_publish (default build-ftp); RUNS defaults to 3.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build-ftp}
RUNS=${2:-3}
BENCH="$ROOT/$BUILD/bench/bench_net_publish"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target bench_net_publish" >&2; exit 2; }
command -v lftp >/dev/null || { echo "lftp is missing: run scripts/install-deps.sh" >&2; exit 2; }

WORK=$(mktemp -d)
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# Data: small PHP-like text files spread over 30 folders, and one big binary file.
/usr/bin/python3 - "$WORK" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(42)
small = os.path.join(work, "small")
for i in range(1000):
    folder = os.path.join(small, "dir%02d" % (i % 30))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(500, 4000)
    text = "".join(rng.choice("abcdefghij klmnop;\n$()") for _ in range(size))
    with open(os.path.join(folder, "file%04d.php" % i), "w") as f:
        f.write("<?php\n" + text + "\n?>\n")
big = os.path.join(work, "big")
os.makedirs(big)
with open(os.path.join(big, "big.bin"), "wb") as f:
    for _ in range(100):
        f.write(os.urandom(1024 * 1024))
PY
mkdir "$WORK/home"

/usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$WORK/home" >"$WORK/port" 2>"$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(head -1 "$WORK/port")
[ -n "$PORT" ] || { echo "FTP server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }

now() { date +%s.%N; }
lftp_mirror() { # local folder, remote folder
  lftp -u tester,secret -p "$PORT" \
       -e "set ftp:ssl-allow no; set ftp:passive-mode on; mirror -R --parallel=1 $1 $2; quit" \
       127.0.0.1 >/dev/null
}
ours() { # local folder, remote folder
  "$BENCH" "127.0.0.1:$PORT" tester secret "$1" "$2" >/dev/null
}
ours_store_only() { # the FTP client alone, without the engine's skip test
  "$BENCH" "127.0.0.1:$PORT" tester secret "$1" "$2" store-only >/dev/null
}
measure() { # tool, local folder, remote folder -> seconds
  local start end
  start=$(now)
  "$1" "$2" "$3"
  end=$(now)
  diff -r "$2" "$WORK/home/$3" >/dev/null || { echo "upload by $1 differs from $2" >&2; exit 1; }
  rm -rf "${WORK:?}/home/$3"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}

printf '%-4s %-12s %16s %9s %s\n' run case tool seconds rate
for run in $(seq "$RUNS"); do
  for tool in ours lftp_mirror; do
    s=$(measure $tool "$WORK/small" "s_${tool}_$run")
    printf '%-4s %-12s %16s %9.3f %7.1f files/s\n' "$run" "1000 files" "$tool" "$s" "$(awk -v s="$s" 'BEGIN { print 1000 / s }')"
  done
  for tool in ours ours_store_only lftp_mirror; do
    s=$(measure $tool "$WORK/big" "b_${tool}_$run")
    printf '%-4s %-12s %16s %9.3f %7.1f MB/s\n' "$run" "100 MB file" "$tool" "$s" "$(awk -v s="$s" 'BEGIN { print 104.8576 / s }')"
  done
done
