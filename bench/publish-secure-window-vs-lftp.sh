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
mkdir -p "$DATA/debs"
WORK=$(mktemp -d "$DATA/secure.XXXXXX")
chmod 755 "$DATA" "$WORK"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do pkill -KILL -P "$pid" 2>/dev/null || true; kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

unpack() { # package -> folder
  local deb
  deb=$(ls "$DATA/debs/$1"_*.deb 2>/dev/null | head -1 || true)
  if [ -z "$deb" ]; then
    (cd "$DATA/debs" && apt-get download "$1" >/dev/null 2>&1) || { echo "apt-get download $1 failed" >&2; exit 1; }
    deb=$(ls "$DATA/debs/$1"_*.deb | head -1)
  fi
  [ -d "$DATA/$1" ] || { dpkg-deb -x "$deb" "$DATA/$1.tmp" && mv "$DATA/$1.tmp" "$DATA/$1"; }
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
# A copy of our own: the changes case edits it.
SITE_ROOT="$WORK/site"
mkdir -p "$SITE_ROOT"
cp -a "$DATA/wordpress-site/wordpress" "$SITE_ROOT/wordpress"
SITE="$SITE_ROOT/wordpress"

display_up=""
for n in $(seq 140 240); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    export DISPLAY=":$n"
    for _ in $(seq 50); do
      kill -0 "${pids[-1]}" 2>/dev/null || break
      xdpyinfo >/dev/null 2>&1 && { display_up=yes; break; }
      sleep 0.1
    done
    [ -n "$display_up" ] && break
  fi
done
[ -n "$display_up" ] || { echo "no X display could be started" >&2; exit 1; }
unset QT_QPA_PLATFORM
export QTWEBENGINE_DISABLE_SANDBOX=1 XDG_CONFIG_HOME="$WORK/config"
mkdir -p "$XDG_CONFIG_HOME/quillstone"

free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
wait_port() { for _ in $(seq 100); do (echo > "/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.1; done; return 1; }
now() { date +%s%N; }
median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

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
    home="$WORK/changes-home"
    mkdir -p "$home"
    /usr/bin/python3 "$ROOT/tests/support/ftp_server.py" --home "$home" >"$WORK/port" 2>"$WORK/server.log" &
    pids+=($!)
    for _ in $(seq 100); do [ -s "$WORK/port" ] && break; sleep 0.1; done
    port=$(head -1 "$WORK/port")
    wait_port "$port" || { echo "pyftpdlib did not start" >&2; exit 1; }
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
    kill "${pids[-1]}" 2>/dev/null || true
    f=$(printf '%s\n' "${full[@]}" | median); c=$(printf '%s\n' "${changes[@]}" | median); i=$(printf '%s\n' "${idle[@]}" | median)
    summary+=("$(awk -v f="$f" -v c="$c" -v i="$i" 'BEGIN { printf "changes  Publish Changes (3 files changed) %.3f s (aim < 1 s), of which start and exit %.3f s; full publish %.3f s", c, i, f }')")
    ;;
  ftps)
    if [ "$(id -u)" -ne 0 ]; then echo "ftps skipped: pure-ftpd maps logins to system users and needs root" >&2; continue; fi
    pf=$(unpack pure-ftpd)
    uid=$(id -u nobody); gid=$(id -g nobody)
    home="$WORK/ftps-home"
    mkdir -p "$home"; chown "$uid:$gid" "$home"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
      -subj /CN=127.0.0.1 -keyout "$WORK/key.pem" -out "$WORK/cert.pem" 2>/dev/null
    fingerprint=$(openssl x509 -noout -fingerprint -sha256 -in "$WORK/cert.pem" | sed 's/.*=//')
    printf '[Software\\Quillstone\\TrustedCertificates\\127.0.0.1]\nString=%s\n' "$fingerprint" > "$XDG_CONFIG_HOME/quillstone/settings.ini"
    printf 'tester:%s:%s:%s::%s::::::::::::\n' "$(openssl passwd -6 secret)" "$uid" "$gid" "$home/./" > "$WORK/pureftpd.passwd"
    "$pf/usr/bin/pure-pw" mkdb "$WORK/pureftpd.pdb" -f "$WORK/pureftpd.passwd"
    port=$(free_port)
    "$pf/usr/sbin/pure-ftpd" -l "puredb:$WORK/pureftpd.pdb" -S "127.0.0.1,$port" -E -H -Y 3 \
      -2 "$WORK/cert.pem,$WORK/key.pem" >"$WORK/pure.log" 2>&1 &
    pids+=($!)
    wait_port "$port" || { echo "pure-ftpd did not start" >&2; cat "$WORK/pure.log" >&2; exit 1; }
    q=(); l=()
    for round in $(seq "$ROUNDS"); do
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
    kill "${pids[-1]}" 2>/dev/null || true
    qm=$(printf '%s\n' "${q[@]}" | median); lm=$(printf '%s\n' "${l[@]}" | median)
    summary+=("$(awk -v q="$qm" -v l="$lm" 'BEGIN { printf "ftps     full publish, TLS required: quillstone %.3f s, lftp %.3f s, ratio %.2f", q, l, q / l }')")
    ;;
  sftp)
    [ -x /usr/sbin/sshd ] || { echo "sshd is missing: run scripts/install-deps.sh" >&2; exit 2; }
    [ "$(id -u)" -ne 0 ] || [ -d /run/sshd ] || mkdir -m 755 /run/sshd
    export HOME="$WORK/user"
    mkdir -p "$HOME/.ssh"; chmod 700 "$HOME/.ssh"
    ssh-keygen -q -t ed25519 -N "" -f "$HOME/.ssh/id_ed25519"
    ssh-keygen -q -t ed25519 -N "" -f "$WORK/host_ed25519"
    cp "$HOME/.ssh/id_ed25519.pub" "$WORK/authorized_keys"
    port=$(free_port)
    cat > "$WORK/sshd_config" <<CONFIG
ListenAddress 127.0.0.1
Port $port
HostKey $WORK/host_ed25519
PidFile $WORK/sshd.pid
AuthorizedKeysFile $WORK/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
LogLevel ERROR
Subsystem sftp internal-sftp
CONFIG
    /usr/sbin/sshd -D -e -f "$WORK/sshd_config" 2>"$WORK/sshd.log" &
    pids+=($!)
    wait_port "$port" || { echo "sshd did not start" >&2; cat "$WORK/sshd.log" >&2; exit 1; }
    printf '[127.0.0.1]:%s %s\n' "$port" "$(cut -d' ' -f1,2 "$WORK/host_ed25519.pub")" > "$HOME/.ssh/known_hosts"
    remote="$WORK/sftp-remote"
    mkdir -p "$remote"
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
    qm=$(printf '%s\n' "${q[@]}" | median); lm=$(printf '%s\n' "${l[@]}" | median)
    summary+=("$(awk -v q="$qm" -v l="$lm" 'BEGIN { printf "sftp     full publish: quillstone %.3f s, lftp %.3f s, ratio %.2f", q, l, q / l }')")
    ;;
  *) echo "unknown case $case" >&2; exit 2 ;;
  esac
done
echo
echo "medians of $ROUNDS rounds (whole program, start-up and exit included):"
printf '%s\n' "${summary[@]}"
