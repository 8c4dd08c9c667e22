# Shared steps of the publishing benchmarks; sourced, not run. The caller sets
# DATA (downloads and data kept between runs) and kills every pid in
# BENCH_PIDS when it ends.

BENCH_PIDS=()
BENCH_HOSTS=

# A fresh folder for one server's files. It lies in memory (/dev/shm) when
# that is writable: the server shares this machine's disk and cores with the
# tools timed, and on ext4 a run that deletes 2,500 files makes the next
# run's file creations slower, whichever tool comes next. A remote host's
# disk costs the client nothing, so neither side pays for it here.
bench_host_folder() { # name; sets BENCH_HOST to the folder
  if [ -z "$BENCH_HOSTS" ]; then
    BENCH_HOSTS=$(mktemp -d /dev/shm/qs-hosts.XXXXXX 2>/dev/null || mktemp -d "$DATA/hosts.XXXXXX")
    chmod 755 "$BENCH_HOSTS"
  fi
  BENCH_HOST="$BENCH_HOSTS/$1"
  mkdir -p "$BENCH_HOST"
}

# A Debian package unpacked below DATA; prints the folder.
bench_unpack() { # package
  local deb
  mkdir -p "$DATA/debs"
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

# DATA/wordpress-site/wordpress: the tree of Debian's wordpress package
# without its links (they point outside the package) and empty folders,
# which a publish of files does not make.
bench_wordpress_site() {
  local wp
  [ -d "$DATA/wordpress-site/wordpress" ] && return 0
  wp=$(bench_unpack wordpress)
  rm -rf "$DATA/wordpress-site"
  mkdir -p "$DATA/wordpress-site"
  cp -a "$wp/usr/share/wordpress" "$DATA/wordpress-site/wordpress"
  find "$DATA/wordpress-site/wordpress" -type l -delete
  find "$DATA/wordpress-site/wordpress" -type d -empty -delete
}

# Waits (at most 90 s) until fewer than 3,000 TCP connections of earlier
# runs linger in TIME-WAIT. Each FTP file is a connection of its own, so a
# round of WordPress runs leaves tens of thousands, and with that many every
# new connection's search for a free port slows whichever tool runs next.
bench_settle_connections() {
  command -v ss >/dev/null || return 0
  for _ in $(seq 90); do
    [ "$(ss -tan state time-wait | wc -l)" -lt 3000 ] && return 0
    sleep 1
  done
}

bench_free_port() {
  /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
bench_wait_port() { # port
  for _ in $(seq 100); do (echo > "/dev/tcp/127.0.0.1/$1") 2>/dev/null && return 0; sleep 0.1; done
  return 1
}
bench_median() { sort -n | awk '{ a[NR] = $1 } END { print (NR % 2 ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2) }'; }

# An X display of our own on a free number; exports DISPLAY.
bench_start_xvfb() {
  local n
  for n in $(seq 140 240); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      BENCH_PIDS+=($!)
      export DISPLAY=":$n"
      for _ in $(seq 50); do
        kill -0 "${BENCH_PIDS[-1]}" 2>/dev/null || break
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.1
      done
    fi
  done
  echo "no X display could be started" >&2
  exit 1
}

# Debian's sshd on a free loopback port with a host key of its own in FOLDER,
# letting in the holder of CLIENT_KEY (its .pub beside it) over SFTP; sets
# SSHD_PORT and writes FOLDER/known_hosts for it.
bench_start_sshd() { # folder, client key
  [ -x /usr/sbin/sshd ] || { echo "sshd is missing: run scripts/install-deps.sh" >&2; exit 2; }
  # Privilege separation wants its folder when sshd starts as root.
  [ "$(id -u)" -ne 0 ] || [ -d /run/sshd ] || mkdir -m 755 /run/sshd
  ssh-keygen -q -t ed25519 -N "" -f "$1/host_ed25519"
  cp "$2.pub" "$1/authorized_keys"
  SSHD_PORT=$(bench_free_port)
  cat > "$1/sshd_config" <<CONFIG
ListenAddress 127.0.0.1
Port $SSHD_PORT
HostKey $1/host_ed25519
PidFile $1/sshd.pid
AuthorizedKeysFile $1/authorized_keys
StrictModes no
UsePAM no
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
LogLevel ERROR
Subsystem sftp internal-sftp
CONFIG
  /usr/sbin/sshd -D -e -f "$1/sshd_config" 2>"$1/sshd.log" &
  BENCH_PIDS+=($!)
  bench_wait_port "$SSHD_PORT" || { echo "sshd did not start" >&2; cat "$1/sshd.log" >&2; exit 1; }
  printf '[127.0.0.1]:%s %s\n' "$SSHD_PORT" "$(cut -d' ' -f1,2 "$1/host_ed25519.pub")" > "$1/known_hosts"
}

# Kills what the benchmark started (sshd's session children too).
bench_stop_all() {
  local pid
  for pid in "${BENCH_PIDS[@]}"; do
    pkill -KILL -P "$pid" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  [ -z "$BENCH_HOSTS" ] || rm -rf "$BENCH_HOSTS"
}
