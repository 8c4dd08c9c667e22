#!/usr/bin/env bash
# Indent Code on WordPress's wp-includes/formatting.php (6,140 lines), taken
# from Debian's wordpress package into the build folder on first use, then
# the same text ten times over to show that the time grows in proportion.
#
#   bench/indent-wordpress.sh [BUILD_DIR]     (default: build)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
data="$build/bench-data/wordpress"
file="$data/usr/share/wordpress/wp-includes/formatting.php"
if [ ! -f "$file" ]; then
  mkdir -p "$data"
  if ! (cd "$data" && apt-get download wordpress >/dev/null && dpkg-deb -x wordpress_*.deb . &&
        rm -f wordpress_*.deb); then
    echo "indent-wordpress: cannot fetch Debian's wordpress package (apt-get download wordpress)" >&2
    exit 1
  fi
fi
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
"$build/bench/bench_editor_indent" "$file"
"$build/bench/bench_editor_indent" "$file" 10 --no-line-by-line
