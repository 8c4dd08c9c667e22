#!/usr/bin/env bash
# The whole program publishing WordPress beyond plain FTP, as a user runs it:
# the real window on an Xvfb display, the project opened from the command
# line, a publish command clicked by the test driver, then Exit; timed from
# process start to exit. Cases (CASES, default "changes ftps sftp"):
#   changes  Publish Changes after three files changed, to pyftpdlib, beside
#            the full publish of the same tree and the start and exit alone
#            (target: under 1 s);
#   ftps     full publish with TLS required to pure-ftpd (-Y 3, a self-signed
#            certificate made here and trusted in the program's settings)
#            against `lftp` with ftp:ssl-force (needs root for pure-ftpd);
#   sftp     full publish to an sshd started here (own host key, client key in
#            the program's HOME) against `lftp` over sftp:// with the same key.
# Every full upload goes into a fresh remote folder and is compared with the
# tree byte for byte before its time counts. Rounds alternate the tools.
# The servers keep their files in memory, and an FTPS round starts once the
# last one's connections have left TIME-WAIT (see publish-lib.sh).
#
#   bench/publish-secure-window-vs-lftp.sh [BUILD_DIR] [ROUNDS] [CASES]
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case "$BUILD" in /*) ;; *) BUILD="$ROOT/$BUILD" ;; esac
ROUNDS=${2:-3}
CASES=${3:-changes ftps sftp}
PROGRAM="$BUILD/quillstone"
[ -x "$PROGRAM" ] || { echo "build it first: cmake --build $BUILD --target quillstone" >&2; exit 2; }
for tool in lftp Xvfb xdpyinfo openssl ssh ssh-keygen apt-get dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/install-deps.sh" >&2; exit 2; }
done

DATA="$BUILD/bench-data"
mkdir -p "$DATA"
WORK=$(mktemp -d "$DATA/secure.XXXXXX")
chmod 755 "$DATA" "$WORK"
source "$ROOT/bench/publish-lib.sh"
cleanup() {
  bench_stop_all
  rm -rf "$WORK"
}
trap cleanup EXIT

bench_wordpress_site
# A copy of our own: the changes case edits it.
SITE_ROOT="$WORK/site"
mkdir -p "$SITE_ROOT"
cp -a "$DATA/wordpress-site/wordpress" "$SITE_ROOT/wordpress"
SITE="$SITE_ROOT/wordpress"

bench_start_xvfb
unset QT_QPA_PLATFORM
export QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/quillstone"
now() { date +%s%N; }

# SITE_ROOT/bench.wdx listing every file of the tree; extra attributes for <ftp>.
write_project() { # host, user, pass, remote folder, extra attributes
  {
    printf '<WENDLOR_Project>\r\n'
    (cd "$SITE_ROOT" && find wordpress -type f | LC_ALL=C sort) |
      sed -e 's/&/\&amp;/g; s/</\&lt;/g; s/"/\&quot;/g; s|/|\\|g' \
          -e 's|.*|   <file path="&" line="0" publish="True"/>\r|'
    printf '   <ftp host="%s" user="%s" pass="%s" folder="%s" %s/>\r\n' "$1" "$2" "$3" "$4" "$5"
    printf '</WENDLOR_Project>\r\n'
  } > "$SITE_ROOT/bench.wdx"
}
# The program with the project and the driver's clicks; seconds on stdout.
program() { # click...
  local start end clicks=()
  for c in "$@"; do clicks+=(click "$c"); done
  start=$(now)
  timeout 900 "$PROGRAM" "$SITE_ROOT/bench.wdx" autopublish "${clicks[@]}" click Exit1 >"$WORK/program.log" 2>&1 \
    || { echo "quillstone failed or hung:" >&2; cat "$WORK/program.log" >&2; exit 1; }
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", (b - a) / 1e9 }'
}
same_tree() { # remote folder
  diff -r "$SITE" "$1" >"$WORK/diff" 2>&1 || { echo "the upload to $1 differs from the tree:" >&2; head -5 "$WORK/diff" >&2; exit 1; }
}
summary=()
files=$(find "$SITE" -type f | wc -l)
echo "WordPress tree: $files files; rounds: $ROUNDS; cases: $CASES"

for case in $CASES; do
  case "$case" in
  changes)
    bench_host_folder changes-home; home=$BENCH_HOST
    /usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$home" >"$WORK/port" 2>"$WORK/server.log" &
    BENCH_PIDS+=($!)
    for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
    port=$(head -1 "$WORK/port")
    bench_wait_port "$port" || { echo "pyftpdlib did not start" >&2; exit 1; }
    write_project "127.0.0.1:$port" tester secret /changes ""
    full=(); changes=(); idle=()
    for round in $(seq "$ROUNDS"); do
      rm -rf "${home:?}/changes" "$XDG_CONFIG_HOME/quillstone/published"
      s=$(program Publish2); full+=("$s")
      same_tree "$home/changes/wordpress"
      for f in index.php wp-login.php wp-includes/version.php; do printf '\n// round %s\n' "$round" >> "$SITE/$f"; done
      s=$(program PublishChanges1); changes+=("$s")
      same_tree "$home/changes/wordpress"
      s=$(program); idle+=("$s")
      printf 'changes round %s: full %s s, Publish Changes %s s, start and exit %s s\n' "$round" "${full[-1]}" "${changes[-1]}" "${idle[-1]}"
    done
    kill "${BENCH_PIDS[-1]}" 2>/dev/null || true
    f=$(printf '%s\n' "${full[@]}" | bench_median); c=$(printf '%s\n' "${changes[@]}" | bench_median); i=$(printf '%s\n' "${idle[@]}" | bench_median)
    summary+=("$(awk -v f="$f" -v c="$c" -v i="$i" 'BEGIN { printf "changes  Publish Changes (3 files changed) %.3f s (aim < 1 s), of which start and exit %.3f s; full publish %.3f s", c, i, f }')")
    ;;
  ftps)
    if [ "$(id -u)" -ne 0 ]; then echo "ftps skipped: pure-ftpd maps logins to system users and needs root" >&2; continue; fi
    pf=$(bench_unpack pure-ftpd)
    uid=$(id -u nobody); gid=$(id -g nobody)
    bench_host_folder ftps-home; home=$BENCH_HOST
    chown "$uid:$gid" "$home"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
      -subj /CN=127.0.0.1 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
    fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$WORK/cert.pem" | sed 's/.*=//')
    printf '[Software\\Quillstone\\TrustedCertificates\\127.0.0.1]\nString=%s\n' "$fingerprint" > "$XDG_CONFIG_HOME/quillstone/settings.ini"
    printf 'tester:%s:%s:%s::%s::::::::::::\n' "$(openssl passwd -6 secret)" "$uid" "$gid" "$home/./" > "$WORK/pureftpd.passwd"
    "$pf/usr/bin/pure-pw" mkdb "$WORK/pureftpd.pdb" -f "$WORK/pureftpd.passwd"
    port=$(bench_free_port)
    "$pf/usr/sbin/pure-ftpd" -l "puredb:$WORK/pureftpd.pdb" -S "127.0.0.1,$port" -E -H -Y 3 \
      -2 "$WORK/cert.pem,$WORK/key.pem" >"$WORK/pure.log" 2>&1 &
    BENCH_PIDS+=($!)
    bench_wait_port "$port" || { echo "pure-ftpd did not start" >&2; cat "$WORK/pure.log" >&2; exit 1; }
    q=(); l=()
    for round in $(seq "$ROUNDS"); do
      bench_settle_connections
      write_project "127.0.0.1:$port" tester secret "/q$round" 'tls="required"'
      s=$(program Publish2); q+=("$s"); same_tree "$home/q$round/wordpress"; rm -rf "${home:?}/q$round"
      start=$(now)
      timeout 900 lftp -u tester,secret -p "$port" \
        -e "set ftp:ssl-force true; set ftp:ssl-protect-data true; set ssl:verify-certificate no; set ftp:passive-mode on; mirror -R --parallel=1 $SITE /l$round; quit" \
        127.0.0.1 >/dev/null
      end=$(now)
      l+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
      same_tree "$home/l$round"; rm -rf "${home:?}/l$round"
      printf 'ftps round %s: quillstone %s s, lftp %s s\n' "$round" "${q[-1]}" "${l[-1]}"
    done
    kill "${BENCH_PIDS[-1]}" 2>/dev/null || true
    qm=$(printf '%s\n' "${q[@]}" | bench_median); lm=$(printf '%s\n' "${l[@]}" | bench_median)
    summary+=("$(awk -v q="$qm" -v l="$lm" 'BEGIN { printf "ftps     full publish, TLS required: quillstone %.3f s, lftp %.3f s, ratio %.2f", q, l, q / l }')")
    ;;
  sftp)
    export HOME="$WORK/user"
    mkdir -p "$HOME/.ssh"; chmod 700 "$HOME/.ssh"
    ssh-keygen -q -t ed25519 -N "" -f "$HOME/.ssh/id_ed25519"
    mkdir -p "$WORK/sshd"
    bench_start_sshd "$WORK/sshd" "$HOME/.ssh/id_ed25519"
    port=$SSHD_PORT
    cp "$WORK/sshd/known_hosts" "$HOME/.ssh/known_hosts"
    bench_host_folder sftp-remote; remote=$BENCH_HOST
    q=(); l=()
    for round in $(seq "$ROUNDS"); do
      write_project "127.0.0.1:$port" "$(id -un)" "" "$remote/q$round" 'protocol="sftp"'
      s=$(program Publish2); q+=("$s"); same_tree "$remote/q$round/wordpress"; rm -rf "${remote:?}/q$round"
      start=$(now)
      timeout 900 lftp -e "set sftp:connect-program 'ssh -a -x -i $HOME/.ssh/id_ed25519 -o IdentitiesOnly=yes -o BatchMode=yes -o UserKnownHostsFile=$HOME/.ssh/known_hosts'; mirror -R --parallel=1 $SITE $remote/l$round; quit" \
        "sftp://$(id -un):@127.0.0.1:$port" >"$WORK/lftp.log" 2>&1 || { echo "lftp failed:" >&2; cat "$WORK/lftp.log" >&2; exit 1; }
      end=$(now)
      l+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
      same_tree "$remote/l$round"; rm -rf "${remote:?}/l$round"
      printf 'sftp round %s: quillstone %s s, lftp %s s\n' "$round" "${q[-1]}" "${l[-1]}"
    done
    qm=$(printf '%s\n' "${q[@]}" | bench_median); lm=$(printf '%s\n' "${l[@]}" | bench_median)
    summary+=("$(awk -v q="$qm" -v l="$lm" 'BEGIN { printf "sftp     full publish: quillstone %.3f s, lftp %.3f s, ratio %.2f", q, l, q / l }')")
    ;;
  *) echo "unknown case $case" >&2; exit 2 ;;
  esac
done
echo
echo "medians of $ROUNDS rounds (whole program, start-up and exit included):"
printf '%s\n' "${summary[@]}"
