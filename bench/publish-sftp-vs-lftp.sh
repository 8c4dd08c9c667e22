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
mkdir -p "$DATA/debs"
WORK=$(mktemp -d "$DATA/sftp-run.XXXXXX")
chmod 755 "$WORK"
SSHD_PID=""
cleanup() {
  if [ -n "$SSHD_PID" ]; then
    pkill -KILL -P "$SSHD_PID" 2>/dev/null || true
    kill "$SSHD_PID" 2>/dev/null || true
    wait "$SSHD_PID" 2>/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# The data: the WordPress tree and one big file, kept between runs.
if [ ! -d "$DATA/wordpress-site/wordpress" ]; then
  deb=$(ls "$DATA/debs"/wordpress_*.deb 2>/dev/null | head -1 || true)
  if [ -z "$deb" ]; then
    (cd "$DATA/debs" && apt-get download wordpress >/dev/null 2>&1) || { echo "apt-get download wordpress failed" >&2; exit 1; }
    deb=$(ls "$DATA/debs"/wordpress_*.deb | head -1)
  fi
  rm -rf "$DATA/wordpress.tmp" "$DATA/wordpress-site"
  dpkg-deb -x "$deb" "$DATA/wordpress.tmp"
  mkdir -p "$DATA/wordpress-site"
  cp -a "$DATA/wordpress.tmp/usr/share/wordpress" "$DATA/wordpress-site/wordpress"
  rm -rf "$DATA/wordpress.tmp"
  find "$DATA/wordpress-site/wordpress" -type l -delete
  find "$DATA/wordpress-site/wordpress" -type d -empty -delete
fi
if [ ! -f "$DATA/sftp-big/big/big.bin" ]; then
  mkdir -p "$DATA/sftp-big/big"
  head -c $((100 * 1024 * 1024)) /dev/urandom > "$DATA/sftp-big/big/big.bin"
fi

# The server.
[ "$(id -u)" -ne 0 ] || [ -d /run/sshd ] || mkdir -m 755 /run/sshd
ssh-keygen -q -t ed25519 -N "" -f "$WORK/host_ed25519"
mkdir "$WORK/client"
ssh-keygen -q -t ed25519 -N "" -f "$WORK/client/id_ed25519"
cp "$WORK/client/id_ed25519.pub" "$WORK/authorized_keys"
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
cat > "$WORK/sshd_config" <<EOF
ListenAddress 127.0.0.1
Port $PORT
HostKey $WORK/host_ed25519
PidFile $WORK/sshd.pid
AuthorizedKeysFile $WORK/authorized_keys
StrictModes no
UsePAM no
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
LogLevel ERROR
Subsystem sftp internal-sftp
EOF
/usr/sbin/sshd -D -e -f "$WORK/sshd_config" 2>"$WORK/sshd.log" &
SSHD_PID=$!
for _ in $(seq 100); do (echo > "/dev/tcp/127.0.0.1/$PORT") 2>/dev/null && break; sleep 0.1; done
(echo > "/dev/tcp/127.0.0.1/$PORT") 2>/dev/null || { echo "sshd did not start" >&2; cat "$WORK/sshd.log" >&2; exit 1; }
printf '[127.0.0.1]:%s %s\n' "$PORT" "$(cut -d' ' -f1,2 "$WORK/host_ed25519.pub")" > "$WORK/known_hosts"
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
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

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
  o=$(printf '%s\n' ${times[$case.ours]} | median)
  l=$(printf '%s\n' ${times[$case.lftp_mirror]} | median)
  awk -v c="$case" -v o="$o" -v l="$l" 'BEGIN { printf "  %-10s ours %.3f s  lftp %.3f s  ours/lftp %.2f\n", c, o, l, o / l }'
done
