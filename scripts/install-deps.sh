#!/usr/bin/env bash
# Installs every build, test and run dependency of Quillstone from Debian's
# archive. Safe to run again: packages already present are skipped.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config dpkg-dev file ccache
  # toolkit, editor control, browser engine, XML
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-svg-dev
  libqscintilla2-qt6-dev
  qt6-webengine-dev qt6-webengine-dev-tools libqt6webenginecore6-bin
  qt6-l10n-tools
  # HTTP client
  libcurl4-openssl-dev
  # SFTP publishing; passwords in the desktop keyring
  libssh-dev qtkeychain-qt6-dev
  # SHA-256 of the files a publish sends
  libssl-dev
  # the keychain library loads libsecret at run time to reach the keyring
  libsecret-1-0
  # tests: unit tests, a real PHP server, a real FTP server, a real display
  googletest libgtest-dev libgmock-dev
  php-cli python3 python3-pyftpdlib
  # step debugging (optional for users; the debugger tests need it). The
  # program loads it into its own PHP server with -d options only.
  php-xdebug
  # encrypted publishing against real servers: pyftpdlib's TLS handler, an
  # sshd on a loopback port, a keyring daemon on a private session bus
  python3-openssl openssh-server openssh-client gnome-keyring dbus-daemon dbus-bin
  xvfb xauth xdotool x11-utils imagemagick
  # the source format check (scripts/check-format.sh)
  clang-format
  # benchmarks (lftp and ripgrep: the peers for publishing and searching;
  # universal-ctags: the peer for the PHP symbol index;
  # X11, XTest and XDamage headers for the programs that time windows, keys
  # and repaints; Geany, the peer editor for start-up, typing, memory and
  # large files; openssl hashes the password of the pure-ftpd that the
  # publishing benchmark unpacks; ss counts the connections a run leaves)
  libbenchmark-dev lftp ripgrep universal-ctags libx11-dev libxtst-dev libxdamage-dev geany
  openssl time iproute2
  # the libraries of the proftpd and its TLS module unpacked below
  libacl1 libcap2 libcrypt1 libhiredis0.14 libidn2-0 libmemcached11 libmemcachedutil2
  libncursesw6 libpam0g libpcre2-8-0 libpcre2-posix3 libssl3 libtinfo6 zlib1g libsodium23
  # fonts so the offscreen and Xvfb windows have real metrics
  fonts-dejavu-core
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
else
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  # Debian's package switches Xdebug on for every PHP at install; the program
  # and the tests load it themselves, and Run's pages keep PHP's usual error
  # lines. Only an Xdebug that this run installed is switched off again.
  if printf '%s\n' "${missing[@]}" | grep -qx php-xdebug && command -v phpdismod >/dev/null; then
    $SUDO phpdismod -s ALL xdebug
  fi
fi

# Servers the tests run as peers without installing them as system services
# (their packages would start one on port 21): Debian's packages unpacked into
# .peers/ of the repository (git-ignored), one folder per server.
PEERS="$(cd "$(dirname "$0")/.." && pwd)/.peers"
unpack_peer() {
  local peer="$1"
  shift
  [ -d "$PEERS/$peer" ] && return 0
  mkdir -p "$PEERS/debs"
  (cd "$PEERS/debs" && apt-get download "$@" >/dev/null 2>&1) ||
    { echo "install-deps: apt-get download $* failed" >&2; exit 1; }
  rm -rf "$PEERS/$peer.tmp"
  local package deb
  for package in "$@"; do
    deb="$(ls -v "$PEERS/debs/$package"_*.deb | tail -1)"
    dpkg-deb -x "$deb" "$PEERS/$peer.tmp"
  done
  mv "$PEERS/$peer.tmp" "$PEERS/$peer"
  echo "install-deps: $* unpacked into $PEERS/$peer"
}
unpack_peer pure-ftpd pure-ftpd
# proftpd-mod-crypto carries mod_tls.
unpack_peer proftpd proftpd-core proftpd-mod-crypto
