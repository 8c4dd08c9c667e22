#!/usr/bin/env bash
# The whole program publishing a real site, against lftp, to the same server
# in the same run. Quillstone runs as a user runs it: the real window on an
# Xvfb display, the project opened from the command line and File > FTP
# Publish Project clicked by the test driver, then Exit:
#
#   quillstone site.wdx autopublish click Publish2 click Exit1
#
# timed from process start to exit (start-up and closing included): the
# time starts when the shell starts the program and ends when the program
# has exited; lftp's side starts when the shell starts lftp and ends when it
# has exited. The project file is written before the program's time starts. The program publishes over its default number of sessions
# (the setting PublishConnections, 4). The peers are `lftp -e "mirror -R
# --parallel=1"` and `--parallel=4` of the same tree. Cases:
#   - the WordPress tree of Debian's wordpress package (about 2,500 files in
#     about 250 folders; its symbolic links, which point outside the package,
#     are left out);
#   - one 100 MB file of random bytes (with a small page listed first, which
#     the program opens in its editor when it opens the project).
# Servers: pure-ftpd (Debian's package unpacked into the build folder and
# started on a loopback port; needs root, as it maps logins to system users)
# and pyftpdlib (tests/support/ftp_server.py under /usr/bin/python3), each
# keeping its files in memory (see bench_host_folder in publish-lib.sh).
# Every upload goes into a fresh remote folder and is compared with the source
# byte for byte before its time counts. Each round starts once the
# connections of the last one have left TIME-WAIT (bench_settle_connections).
# Rounds alternate the two tools. Each
# round also times the program's start and exit alone (`click Exit1` on the
# same project), for a second figure from the command to the last file.
#
#   bench/publish-window-vs-lftp.sh [BUILD_DIR] [ROUNDS] [SERVERS]
#
# BUILD_DIR (default build) holds the quillstone program; downloads and data
# go to BUILD_DIR/bench-data. ROUNDS defaults to 3, SERVERS to
# "pure-ftpd pyftpdlib". Medians are printed with the ratio ours / lftp.
# BIG=0 in the environment leaves the 100 MB case out.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
ROUNDS=${2:-3}
SERVERS=${3:-pure-ftpd pyftpdlib}
PROGRAM="$BUILD/quillstone"
[ -x "$PROGRAM" ] || { echo "build it first: cmake --build $BUILD --target quillstone" >&2; exit 2; }
for tool in lftp Xvfb xdpyinfo openssl apt-get dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 2; }
done

DATA="$BUILD/bench-data"
mkdir -p "$DATA"
WORK=$(mktemp -d "$DATA/run.XXXXXX")
chmod 755 "$WORK"
source "$ROOT/bench/publish-lib.sh"
cleanup() {
  bench_stop_all
  rm -rf "$WORK"
}
trap cleanup EXIT

# The sites: a project file beside the folder it publishes.
bench_wordpress_site
if [ "${BIG:-1}" != 0 ] && [ ! -f "$DATA/big-site/big/big.bin" ]; then
  mkdir -p "$DATA/big-site/big"
  head -c $((100 * 1024 * 1024)) /dev/urandom > "$DATA/big-site/big/big.bin"
  # Opening a project shows its first file: a small page, not 100 MB of bytes.
  printf '<?php echo "big file";\n' > "$DATA/big-site/big/0-index.php"
fi

# Writes SITE/bench.wdx listing every file below SITE/FOLDER.
write_project() { # site folder, published folder name, host, remote folder
  {
    printf '<WENDLOR_Project>\r\n'
    (cd "$1" && find "$2" -type f | LC_ALL=C sort) |
      sed -e 's/&/\&amp;/g; s/</\&lt;/g; s/"/\&quot;/g; s|/|\\|g' \
          -e 's|.*|   <file path="&" line="0" publish="True"/>\r|'
    printf '   <ftp host="%s" user="tester" pass="secret" folder="%s"/>\r\n' "$3" "$4"
    printf '</WENDLOR_Project>\r\n'
  } > "$1/bench.wdx"
}

bench_start_xvfb
unset QT_QPA_PLATFORM
export QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$WORK/config"


# Starts a server serving user tester (password secret) from HOME; sets PORT.
start_server() { # kind, home
  HOME_DIR=$2
  mkdir -p "$HOME_DIR"
  case "$1" in
    pyftpdlib)
      /usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$HOME_DIR" >"$WORK/port" 2>"$WORK/server.log" &
      BENCH_PIDS+=($!)
      for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
      PORT=$(head -1 "$WORK/port")
      ;;
    pure-ftpd)
      local pf uid gid
      pf=$(bench_unpack pure-ftpd)
      uid=$(id -u nobody); gid=$(id -g nobody)
      chown "$uid:$gid" "$HOME_DIR"
      # A quick password hash: the package's default one costs seconds per
      # login. "/./" ends the part of the home the session is locked into.
      printf 'tester:%s:%s:%s::%s::::::::::::\n' "$(openssl passwd -6 secret)" "$uid" "$gid" "$HOME_DIR/./" > "$WORK/pureftpd.passwd"
      "$pf/usr/bin/pure-pw" mkdb "$WORK/pureftpd.pdb" -f "$WORK/pureftpd.passwd"
      PORT=$(bench_free_port)
      "$pf/usr/sbin/pure-ftpd" -l "puredb:$WORK/pureftpd.pdb" -S "127.0.0.1,$PORT" -E -H >"$WORK/server.log" 2>&1 &
      BENCH_PIDS+=($!)
      ;;
  esac
  bench_wait_port "$PORT" || { echo "$1 did not start" >&2; cat "$WORK/server.log" >&2; exit 1; }
  SERVER_PID=${BENCH_PIDS[-1]}
}
stop_server() { kill "$SERVER_PID" 2>/dev/null || true; wait "$SERVER_PID" 2>/dev/null || true; }

now() { date +%s%N; }
# The project file is written before the time starts: it is the user's, not
# part of the program's run.
ours_prepare() { write_project "$1" "$2" "127.0.0.1:$PORT" "/$3"; }
ours() { # site, folder, remote
  /usr/bin/time -f '%U %S' -o "$WORK/cpu" \
    timeout 900 "$PROGRAM" "$1/bench.wdx" autopublish click Publish2 click Exit1 >"$WORK/program.log" 2>&1 \
    || { echo "quillstone failed or hung:" >&2; cat "$WORK/program.log" >&2; exit 1; }
  echo "$HOME_DIR/$3/$2"
}
# The same start and exit without the publish command: what the whole-program
# figure spends before the command and after the last file.
ours_start_exit_prepare() { ours_prepare "$@"; }
ours_start_exit() { # site, folder, remote
  /usr/bin/time -f '%U %S' -o "$WORK/cpu" \
    timeout 900 "$PROGRAM" "$1/bench.wdx" autopublish click Exit1 >"$WORK/program.log" 2>&1 \
    || { echo "quillstone failed or hung:" >&2; cat "$WORK/program.log" >&2; exit 1; }
}
lftp_mirror() { # site, folder, remote
  /usr/bin/time -f '%U %S' -o "$WORK/cpu" timeout 900 lftp -u tester,secret -p "$PORT" \
    -e "set ftp:ssl-allow no; set ftp:passive-mode on; mirror -R --parallel=${LFTP_PARALLEL:-1} $1/$2 /$3; quit" \
    127.0.0.1 >/dev/null
  echo "$HOME_DIR/$3"
}
lftp_mirror4() { LFTP_PARALLEL=4 lftp_mirror "$@"; }
measure() { # tool, site, folder, remote -> seconds
  local start end target
  if declare -F "$1_prepare" >/dev/null; then "$1_prepare" "$2" "$3" "$4"; fi
  start=$(now)
  target=$("$1" "$2" "$3" "$4")
  end=$(now)
  if [ "$1" != ours_start_exit ]; then
    diff -r "$2/$3" "$target" >/dev/null || { echo "upload by $1 to $target differs from $2/$3" >&2; exit 1; }
    rm -rf "${HOME_DIR:?}/$4"
  fi
  # wall seconds, then the tool's own processor seconds (user + system)
  awk -v a="$start" -v b="$end" -v c="$(cat "$WORK/cpu")" \
    'BEGIN { split(c, t, " "); printf "%.3f %.2f\n", (b - a) / 1e9, t[1] + t[2] }'
}

files=$(find "$DATA/wordpress-site/wordpress" -type f | wc -l)
folders=$(find "$DATA/wordpress-site/wordpress" -type d | wc -l)
mb=$(awk -v b="$(stat -c %s "$DATA/big-site/big/big.bin" 2>/dev/null || echo 0)" 'BEGIN { printf "%.1f", b / 1048576 }')
echo "WordPress tree: $files files in $folders folders; big file: $mb MB; rounds: $ROUNDS"
printf '%-10s %-5s %-10s %-16s %9s %8s\n' server round case tool seconds cpu_s
summary=()
for server in $SERVERS; do
  if [ "$server" = pure-ftpd ] && [ "$(id -u)" -ne 0 ]; then
    echo "pure-ftpd skipped: it maps logins to system users and needs root" >&2
    continue
  fi
  bench_host_folder "home-$server"
  start_server "$server" "$BENCH_HOST"
  declare -A times=() cpu=()
  for round in $(seq "$ROUNDS"); do
    bench_settle_connections
    for tool in ours lftp_mirror lftp_mirror4 ours_start_exit; do
      read -r s c < <(measure "$tool" "$DATA/wordpress-site" wordpress "w_${tool}_$round")
      times[wp_$tool]+="$s "; cpu[wp_$tool]+="$c "
      printf '%-10s %-5s %-10s %-16s %9.3f %8.2f\n' "$server" "$round" wordpress "$tool" "$s" "$c"
    done
    [ "${BIG:-1}" = 0 ] && continue
    for tool in ours lftp_mirror ours_start_exit; do
      read -r s c < <(measure "$tool" "$DATA/big-site" big "b_${tool}_$round")
      times[big_$tool]+="$s "; cpu[big_$tool]+="$c "
      printf '%-10s %-5s %-10s %-16s %9.3f %8.2f\n' "$server" "$round" "${mb}MB" "$tool" "$s" "$c"
    done
  done
  stop_server
  for case in wp $([ "${BIG:-1}" = 0 ] || echo big); do
    q=$(printf '%s\n' ${times[${case}_ours]} | bench_median)
    l=$(printf '%s\n' ${times[${case}_lftp_mirror]} | bench_median)
    l4=$(printf '%s\n' ${times[${case}_lftp_mirror4]:-0} | bench_median)
    e=$(printf '%s\n' ${times[${case}_ours_start_exit]} | bench_median)
    qc=$(printf '%s\n' ${cpu[${case}_ours]} | bench_median); lc=$(printf '%s\n' ${cpu[${case}_lftp_mirror]} | bench_median)
    if [ $case = wp ]; then
      summary+=("$(awk -v s="$server" -v q="$q" -v l="$l" -v l4="$l4" -v e="$e" -v f="$files" -v qc="$qc" -v lc="$lc" 'BEGIN {
        printf "%-10s WordPress, %d files: quillstone %.3f s, lftp --parallel=1 %.3f s, ratio %.2f (aim <= 0.5);", s, f, q, l, q / l
        printf " lftp --parallel=4 %.3f s, ratio %.2f (aim <= 1.0);", l4, q / l4
        printf " without start-up and exit (%.3f s): %.3f s, ratio %.2f;", e, q - e, (q - e) / l
        printf " processor time %.2f s against %.2f s", qc, lc }')")
    else
      summary+=("$(awk -v s="$server" -v q="$q" -v l="$l" -v e="$e" -v m="$mb" -v qc="$qc" -v lc="$lc" 'BEGIN {
        printf "%-10s %s MB file: quillstone %.1f MB/s, lftp %.1f MB/s, ratio %.2f (aim >= 0.8);", s, m, m / q, m / l, l / q
        printf " without start-up and exit (%.3f s): %.1f MB/s, ratio %.2f;", e, m / (q - e), l / (q - e)
        printf " processor time %.2f s against %.2f s", qc, lc }')")
    fi
  done
  unset times cpu
done
echo
echo "medians of $ROUNDS rounds:"
printf '%s\n' "${summary[@]}"
