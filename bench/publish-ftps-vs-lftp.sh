#!/usr/bin/env bash
# Encrypted publishing (explicit TLS, FTPS) of the WordPress tree through
# Quillstone's publish engine and FTP client (bench/bench_net_publish ... tls)
# against lftp's mirror with TLS forced, to the same pure-ftpd with TLS
# required on the control and the data connections, in the same run. The
# server's certificate is a self-signed one made here; both tools accept it.
# The tree is the one of Debian's wordpress package (symbolic links, which
# point outside the package, left out), as bench/publish-window-vs-lftp.sh
# prepares it. Every upload goes into a fresh remote folder and is compared
# with the source byte for byte before its time counts; rounds alternate the
# two tools.
#
#   bench/publish-ftps-vs-lftp.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build, configured with -DQS_BUILD_BENCH=ON) holds
# bench/bench_net_publish; downloads and data go to BUILD_DIR/bench-data.
# ROUNDS defaults to 3. Needs root: pure-ftpd maps its users to system users.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
ROUNDS=${2:-3}
BENCH="$BUILD/bench/bench_net_publish"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target bench_net_publish" >&2; exit 2; }
for tool in lftp openssl apt-get dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 2; }
done
[ "$(id -u)" -eq 0 ] || { echo "pure-ftpd maps its users to system users: run as root" >&2; exit 2; }

DATA="$BUILD/bench-data"
mkdir -p "$DATA"
WORK=$(mktemp -d "$DATA/ftps.XXXXXX")
chmod 755 "$DATA" "$WORK"
source "$ROOT/bench/publish-lib.sh"
cleanup() {
  bench_stop_all
  [ -n "${KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

bench_wordpress_site
SITE="$DATA/wordpress-site/wordpress"

# pure-ftpd with TLS required for the session and the data (-Y 3).
pf=$(bench_unpack pure-ftpd)
uid=$(id -u nobody); gid=$(id -g nobody)
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR"
chown "$uid:$gid" "$HOME_DIR"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=127.0.0.1 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
# A quick password hash: the package's default one costs seconds per login.
printf 'tester:%s:%s:%s::%s::::::::::::\n' "$(openssl passwd -6 secret)" "$uid" "$gid" "$HOME_DIR/./" > "$WORK/pureftpd.passwd"
"$pf/usr/bin/pure-pw" mkdb "$WORK/pureftpd.pdb" -f "$WORK/pureftpd.passwd"
PORT=$(bench_free_port)
"$pf/usr/sbin/pure-ftpd" -l "puredb:$WORK/pureftpd.pdb" -S "127.0.0.1,$PORT" -E -H -Y 3 \
  -2 "$WORK/cert.pem,$WORK/key.pem" >"$WORK/server.log" 2>&1 &
BENCH_PIDS+=($!)
bench_wait_port "$PORT" || { echo "pure-ftpd did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }

ours() { # remote folder
  "$BENCH" "127.0.0.1:$PORT" tester secret "$SITE" "/$1" tls >"$WORK/ours.out" \
    || { echo "quillstone's publish failed:" >&2; cat "$WORK/ours.out" >&2; exit 1; }
}
lftp_mirror() { # remote folder
  timeout 900 lftp -u tester,secret -p "$PORT" \
    -e "set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; set ftp:passive-mode on; mirror -R --parallel=1 $SITE /$1; quit" \
    127.0.0.1 >/dev/null
}
now() { date +%s%N; }
measure() { # tool, remote folder -> seconds
  local start end
  start=$(now)
  "$1" "$2"
  end=$(now)
  diff -r "$SITE" "$HOME_DIR/$2" >"$WORK/diff" 2>&1 || { echo "upload by $1 differs from the tree:" >&2; head -5 "$WORK/diff" >&2; exit 1; }
  rm -rf "${HOME_DIR:?}/$2"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'
}

files=$(find "$SITE" -type f | wc -l)
folders=$(find "$SITE" -type d | wc -l)
echo "WordPress tree: $files files in $folders folders; pure-ftpd with TLS required; rounds: $ROUNDS"
printf '%-5s %-12s %9s\n' round tool seconds
q=(); l=()
for round in $(seq "$ROUNDS"); do
  s=$(measure ours "q$round"); q+=("$s"); printf '%-5s %-12s %9.3f\n' "$round" quillstone "$s"
  s=$(measure lftp_mirror "l$round"); l+=("$s"); printf '%-5s %-12s %9.3f\n' "$round" lftp "$s"
done
grep '^session:' "$WORK/ours.out" || true
qm=$(printf '%s\n' "${q[@]}" | bench_median); lm=$(printf '%s\n' "${l[@]}" | bench_median)
awk -v q="$qm" -v l="$lm" -v f="$files" 'BEGIN {
  printf "medians: FTPS WordPress, %d files: quillstone %.3f s (%.0f files/s), lftp %.3f s (%.0f files/s), time ratio %.2f\n", f, q, f / q, l, f / l, q / l }'
