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
mkdir -p "$DATA/debs"
WORK=$(mktemp -d "$DATA/ftps.XXXXXX")
chmod 755 "$DATA" "$WORK"
SERVER_PID=""
cleanup() {
  if [ -n "$SERVER_PID" ]; then kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; fi
  [ -n "${KEEP:-}" ] || rm -rf "$WORK"
}
trap cleanup EXIT

unpack() { # package -> folder
  local deb
  deb=$(ls "$DATA/debs/$1"_*.deb 2>/dev/null | head -1 || true)
  if [ -z "$deb" ]; then
    (cd "$DATA/debs" && apt-get download "$1" >/dev/null 2>&1) || { echo "apt-get download $1 failed" >&2; exit 1; }
    deb=$(ls "$DATA/debs/$1"_*.deb | head -1)
  fi
  if [ ! -d "$DATA/$1" ]; then
    dpkg-deb -x "$deb" "$DATA/$1.tmp" && mv "$DATA/$1.tmp" "$DATA/$1"
  fi
  echo "$DATA/$1"
}

if [ ! -d "$DATA/wordpress-site/wordpress" ]; then
  wp=$(unpack wordpress)
  rm -rf "$DATA/wordpress-site"
  mkdir -p "$DATA/wordpress-site"
  cp -a "$wp/usr/share/wordpress" "$DATA/wordpress-site/wordpress"
  find "$DATA/wordpress-site/wordpress" -type l -delete
  find "$DATA/wordpress-site/wordpress" -type d -empty -delete
fi
SITE="$DATA/wordpress-site/wordpress"

# pure-ftpd with TLS required for the session and the data (-Y 3).
pf=$(unpack pure-ftpd)
uid=$(id -u nobody); gid=$(id -g nobody)
HOME_DIR="$WORK/home"
mkdir -p "$HOME_DIR"
chown "$uid:$gid" "$HOME_DIR"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -subj /CN=127.0.0.1 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
# A quick password hash: the package's default one costs seconds per login.
printf 'tester:%s:%s:%s::%s::::::::::::\n' "$(openssl passwd -6 secret)" "$uid" "$gid" "$HOME_DIR/./" > "$WORK/pureftpd.passwd"
"$pf/usr/bin/pure-pw" mkdb "$WORK/pureftpd.pdb" -f "$WORK/pureftpd.passwd"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
"$pf/usr/sbin/pure-ftpd" -l "puredb:$WORK/pureftpd.pdb" -S "127.0.0.1,$PORT" -E -H -Y 3 \
  -2 "$WORK/cert.pem,$WORK/key.pem" >"$WORK/server.log" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do (echo > "/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break; sleep 0.1; done

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
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

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
qm=$(printf '%s\n' "${q[@]}" | median); lm=$(printf '%s\n' "${l[@]}" | median)
awk -v q="$qm" -v l="$lm" -v f="$files" 'BEGIN {
  printf "medians: FTPS WordPress, %d files: quillstone %.3f s (%.0f files/s), lftp %.3f s (%.0f files/s), time ratio %.2f\n", f, q, f / q, l, f / l, q / l }'
