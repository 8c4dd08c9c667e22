#!/usr/bin/env bash
# Publishing over SFTP: Quillstone's engine with its SFTP client against
# lftp's `mirror -R` over sftp://, to the same sshd in the same run.
# The sshd is Debian's OpenSSH started by this script on a free loopback port
# with its own host key, config and client key (internal-sftp). lftp talks
# through the ssh binary with the same key and known_hosts.
# Cases:
#   - the WordPress tree of Debian's wordpress package (symbolic links left
#     out), as bench/publish-window-vs-lftp.sh builds it;
#   - one 100 MB file of random bytes, first with each write block size the
#     client may use (one run each), then in the alternating rounds.
# Every upload goes into a fresh remote folder and is compared with the
# source byte for byte before its time counts. Rounds alternate the tools.
#
#   bench/publish-sftp-vs-lftp.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR (default build) holds bench/bench_net_sftp_publish (configure with
# -DQS_BUILD_BENCH=ON); downloads go to BUILD_DIR/bench-data. ROUNDS
# defaults to 3. Medians are printed with the ratio ours / lftp.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
ROUNDS=${2:-3}
BENCH="$BUILD/bench/bench_net_sftp_publish"
[ -x "$BENCH" ] || { echo "build it first: cmake --build $BUILD --target bench_net_sftp_publish" >&2; exit 2; }
for tool in lftp ssh ssh-keygen apt-get dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 2; }
done
[ -x /usr/sbin/sshd ] || { echo "sshd is missing: run scripts/install-deps.sh" >&2; exit 2; }

DATA="$BUILD/bench-data"
mkdir -p "$DATA"
WORK=$(mktemp -d "$DATA/sftp-run.XXXXXX")
chmod 755 "$WORK"
source "$ROOT/bench/publish-lib.sh"
cleanup() {
  bench_stop_all
  rm -rf "$WORK"
}
trap cleanup EXIT

# The data: the WordPress tree and one big file, kept between runs.
bench_wordpress_site
if [ ! -f "$DATA/sftp-big/big/big.bin" ]; then
  mkdir -p "$DATA/sftp-big/big"
  head -c $((100 * 1024 * 1024)) /dev/urandom > "$DATA/sftp-big/big/big.bin"
fi

# The server, and a client key of our own for both tools.
mkdir "$WORK/client"
ssh-keygen -q -t ed25519 -N "" -f "$WORK/client/id_ed25519"
bench_start_sshd "$WORK" "$WORK/client/id_ed25519"
PORT=$SSHD_PORT
USER_NAME=$(id -un)
REMOTE="$WORK/remote"
mkdir "$REMOTE"

now() { date +%s%N; }
ours() { # site, folder, remote name [, block bytes]
  "$BENCH" "127.0.0.1:$PORT" "$USER_NAME" "$WORK/client" "$WORK/known_hosts" "$1/$2" "$REMOTE/$3" ${4:-} >"$WORK/ours.log" 2>&1 \
    || { echo "bench_net_sftp_publish failed:" >&2; cat "$WORK/ours.log" >&2; exit 1; }
  echo "$REMOTE/$3"
}
lftp_mirror() { # site, folder, remote name
  timeout 900 lftp -e "set sftp:connect-program 'ssh -a -x -i $WORK/client/id_ed25519 -o IdentitiesOnly=yes -o BatchMode=yes -o UserKnownHostsFile=$WORK/known_hosts'; mirror -R --parallel=1 $1/$2 $REMOTE/$3; quit" \
    "sftp://$USER_NAME:@127.0.0.1:$PORT" >"$WORK/lftp.log" 2>&1 \
    || { echo "lftp failed:" >&2; cat "$WORK/lftp.log" >&2; exit 1; }
  echo "$REMOTE/$3"
}
measure() { # tool, site, folder, remote name [, block bytes] -> seconds
  local start end target
  start=$(now)
  target=$("$1" "$2" "$3" "$4" ${5:-})
  end=$(now)
  diff -r "$2/$3" "$target" >/dev/null || { echo "upload by $1 to $target differs from $2/$3" >&2; exit 1; }
  rm -rf "${REMOTE:?}/$4"
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}

files=$(find "$DATA/wordpress-site/wordpress" -type f | wc -l)
folders=$(find "$DATA/wordpress-site/wordpress" -type d | wc -l)
echo "sshd: $(/usr/sbin/sshd -V 2>&1 | head -1); lftp: $(lftp --version | head -1)"
echo "WordPress tree: $files files in $folders folders; big file: 100 MB; rounds: $ROUNDS"

echo "write block size, 100 MB file, one run each:"
for block in 32768 65536 131072 261120; do
  printf '  %7d bytes  %s s\n' "$block" "$(measure ours "$DATA/sftp-big" big "block_$block" "$block")"
done

printf '%-5s %-10s %-12s %9s\n' round case tool seconds
declare -A times=()
for round in $(seq "$ROUNDS"); do
  for case in wordpress big; do
    if [ "$case" = wordpress ]; then site="$DATA/wordpress-site"; else site="$DATA/sftp-big"; fi
    for tool in ours lftp_mirror; do
      s=$(measure "$tool" "$site" "$case" "${case}_${tool}_$round")
      printf '%-5s %-10s %-12s %9s\n' "$round" "$case" "$tool" "$s"
      times[$case.$tool]+="$s "
    done
  done
done
echo "medians:"
for case in wordpress big; do
  o=$(printf '%s\n' ${times[$case.ours]} | bench_median)
  l=$(printf '%s\n' ${times[$case.lftp_mirror]} | bench_median)
  awk -v c="$case" -v o="$o" -v l="$l" 'BEGIN { printf "  %-10s ours %.3f s  lftp %.3f s  ours/lftp %.2f\n", c, o, l, o / l }'
done
