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

data="$BUILD/bench-data/wordpress"
tree="$data/usr/share/wordpress"
if [ ! -d "$tree/wp-includes" ]; then
  mkdir -p "$data"
  if ! (cd "$data" && apt-get download wordpress >/dev/null && dpkg-deb -x wordpress_*.deb . &&
        rm -f wordpress_*.deb); then
    echo "publish-changes: cannot fetch Debian's wordpress package (apt-get download wordpress)" >&2
    exit 1
  fi
fi

WORK=$(mktemp -d)
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# A copy, since the rounds change files; without the package's links out of
# the tree and its empty folders, which a publish of files does not make.
cp -r "$tree" "$WORK/site"
find "$WORK/site" -type l -delete
find "$WORK/site" -type d -empty -delete
mkdir "$WORK/home"
/usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$WORK/home" >"$WORK/port" 2>"$WORK/server.log" &
SERVER_PID=$!
for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
PORT=$(head -1 "$WORK/port")
[ -n "$PORT" ] || { echo "FTP server did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }

"$BENCH" "127.0.0.1:$PORT" tester secret "$WORK/site" /wp "$ROUNDS"
diff -r "$WORK/site" "$WORK/home/wp" >"$WORK/diff" || { head -5 "$WORK/diff" >&2; echo "the host's copy differs from the site" >&2; exit 1; }
echo "host copy matches the site"
