#!/usr/bin/env bash
# Publish Changes of WordPress (Debian's wordpress package, taken into the
# build folder on first use) to a local pyftpdlib server: a full publish that
# fills the publish record, then rounds of three changed files sent alone.
# The uploaded tree is compared with the source at the end.
#
#   bench/publish-changes.sh [BUILD_DIR] [ROUNDS]     (defaults: build, 3)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
ROUNDS=${2:-3}
BENCH="$BUILD/bench/bench_net_publish_changes"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target bench_net_publish_changes" >&2; exit 2; }

DATA="$BUILD/bench-data"
source "$ROOT/bench/publish-lib.sh"
bench_wordpress_site
tree="$DATA/wordpress-site/wordpress"

WORK=$(mktemp -d)
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# A copy, since the rounds change files.
cp -a "$tree" "$WORK/site"
mkdir "$WORK/home"
/usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$WORK/home" >"$WORK/port" 2>"$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(head -1 "$WORK/port")
[ -n "$PORT" ] || { echo "FTP server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }

"$BENCH" "127.0.0.1:$PORT" tester secret "$WORK/site" /wp "$ROUNDS"
diff -r "$WORK/site" "$WORK/home/wp" >"$WORK/diff" || { head -5 "$WORK/diff" >&2; echo "the host's copy differs from the site" >&2; exit 1; }
echo "host copy matches the site"
