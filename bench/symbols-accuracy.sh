#!/usr/bin/env bash
# symbols-accuracy.sh - the symbol index against PHP itself on WordPress and
# phpMyAdmin as Debian ships them:
#   declarations  bench/php-declarations.php (PHP's tokenizer) and the index
#                 list every declaration of every file; the two sets are
#                 compared and each difference printed
#   definitions   bench/php-call-sites.php picks call sites whose target it
#                 knows (declaration list, Reflection); Go to Definition must
#                 land on it (right / among several / wrong / not found)
# The packages are fetched with `apt-get download` and unpacked with
# `dpkg-deb -x` into a cache outside the repository.
# Usage: bench/symbols-accuracy.sh [BUILD_DIR] [SITES_PER_KIND]
# Env:   QS_BENCH_CACHE (default ${XDG_CACHE_HOME:-$HOME/.cache}/quillstone-bench)
set -euo pipefail
export LC_ALL=C
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
per=${2:-200}
cache="${QS_BENCH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillstone-bench}"
bin="$build/bench/bench_project_symbols"
mkdir -p "$cache/debs" "$cache/tree"
(cd "$cache/debs" && for p in wordpress phpmyadmin; do ls ${p}_*.deb >/dev/null 2>&1 || apt-get download "$p" >&2; done)
for deb in "$cache"/debs/wordpress_*.deb "$cache"/debs/phpmyadmin_*.deb; do
  [ -d "$cache/tree/$(basename "$deb" .deb)" ] || dpkg-deb -x "$deb" "$cache/tree/$(basename "$deb" .deb)"
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
status=0
for name in wordpress phpmyadmin; do
  root=$(realpath "$cache"/tree/${name}_*/usr/share/$name)
  find "$root" -name '*.php' -type f | sort >"$tmp/files"
  php "$here/bench/php-declarations.php" <"$tmp/files" | sort >"$tmp/oracle"
  "$bin" dump <"$tmp/files" | sort >"$tmp/index"
  echo "== $name: $(wc -l <"$tmp/files") files, oracle $(wc -l <"$tmp/oracle") declarations, index $(wc -l <"$tmp/index")"
  if diff "$tmp/oracle" "$tmp/index" >"$tmp/diff"; then
    echo "declarations: the same set"
  else
    echo "declarations: $(grep -c '^[<>]' "$tmp/diff") differences (< oracle only, > index only):"
    grep '^[<>]' "$tmp/diff" | head -50
    status=1
  fi
  php "$here/bench/php-call-sites.php" "$root" "$per" <"$tmp/files" >"$tmp/sites" 2>"$tmp/kinds"
  sed 's/^/call sites: /' "$tmp/kinds"
  "$bin" definitions "$root" "$tmp/sites"
done
exit $status
