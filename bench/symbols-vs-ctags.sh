#!/usr/bin/env bash
# symbols-vs-ctags.sh - the PHP symbol index against universal-ctags over the
# same files, alternating in one run, then the index's memory and query times
# on seven copies of the corpus (49,000 files).
#   ctags:  process start to exit of `ctags -R --languages=PHP -f TMP CORPUS`
#   index:  process start to exit of `bench_project_symbols index CORPUS`
#           (it lists the .php files, then indexes them on all cores; it also
#           prints its own time from the listing's start to the index ready)
# Both read a warm page cache (one unmeasured pass of each first).
# Usage: bench/symbols-vs-ctags.sh [BUILD_DIR] [RUNS]   (PHP_CORPUS as run-all.sh)
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
runs=${2:-5}
corpus="${PHP_CORPUS:-$here/bench/corpus/php}"
[ -n "$(find "$corpus" -name '*.php' -print -quit 2>/dev/null)" ] || bash "$here/bench/make-php-corpus.sh" "$corpus" >&2
command -v ctags >/dev/null || { echo "ctags (universal-ctags) missing: scripts/install-deps.sh" >&2; exit 1; }
bin="$build/bench/bench_project_symbols"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

ms() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(( (e - s) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

ms ctags -R --languages=PHP -f "$tmp/tags" "$corpus" >/dev/null
ms "$bin" index "$corpus" >/dev/null
: >"$tmp/c"; : >"$tmp/q"
for _ in $(seq "$runs"); do
  ms ctags -R --languages=PHP -f "$tmp/tags" "$corpus" >>"$tmp/c"
  ms "$bin" index "$corpus" >>"$tmp/q"
done
c=$(median <"$tmp/c"); q=$(median <"$tmp/q")
echo "files: $(find "$corpus" -name '*.php' | wc -l), ctags tags: $(grep -vc '^!' "$tmp/tags")"
"$bin" index "$corpus" | sed 's/^/index: /'
echo "ctags -R --languages=PHP, start to exit: median $c ms ($runs runs)"
echo "symbol index, start to exit: median $q ms ($runs runs)"
awk -v a="$q" -v b="$c" 'BEGIN { printf "ratio index / ctags: %.2f\n", a / b }'

# Seven copies: the same files under seven folder names.
mkdir "$tmp/x7"
for k in 1 2 3 4 5 6 7; do ln -s "$corpus" "$tmp/x7/copy$k"; done
"$bin" index "$tmp"/x7/copy* | sed 's/^/x7: /'
# Query sites: the call sites of phpMyAdmin's and WordPress's files in the corpus.
# sed reads the whole list: head would leave sort to die of SIGPIPE, which
# pipefail and set -e turn into a silent exit before the figures.
find "$corpus" -path '*phpmyadmin*' -name '*.php' | sort | sed -n '1,400p' >"$tmp/files"
[ -s "$tmp/files" ] || { echo "no phpMyAdmin files in $corpus: no query sites" >&2; exit 1; }
php "$here/bench/php-call-sites.php" x 100 <"$tmp/files" >"$tmp/sites"
[ -s "$tmp/sites" ] || { echo "php-call-sites.php chose no call sites" >&2; exit 1; }
echo "x7: query sites: $(wc -l <"$tmp/sites")"
"$bin" latency "$tmp/sites" "$tmp"/x7/copy* | sed 's/^/x7: /'
