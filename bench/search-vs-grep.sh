#!/usr/bin/env bash
# Find in Files and Functions... over the PHP corpus against ripgrep and grep,
# each figure beside its peers from the same run:
#   1. the real program on Xvfb (search-in-window.sh): Enter to rows shown;
#   2. the engine alone (bench_project_search): three words, and the
#      function scan against a grep for function lines, rows checked;
#   3. the window set offscreen (bench_app_search): Findinfiles1Click and
#      Functions... as the handlers run them.
# Usage: bench/search-vs-grep.sh [BUILD_DIR] [RUNS]
# The corpus is $PHP_CORPUS or bench/corpus/php, made on first use by
# bench/make-php-corpus.sh (Debian's PHP packages, fetched by name).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
runs="${2:-7}"
export PHP_CORPUS="${PHP_CORPUS:-$here/bench/corpus/php}"
if [ -z "$(find "$PHP_CORPUS" -name '*.php' -print -quit 2>/dev/null)" ]; then
  bash "$here/bench/make-php-corpus.sh" "$PHP_CORPUS" >&2
fi
cmake --build "$build" --target quillstone bench_project_search bench_app_search >&2
echo "== the program's window (Xvfb), $runs runs"
bash "$here/bench/search-in-window.sh" "$build" "$runs"
echo
echo "== the engine alone"
"$build/bench/bench_project_search" "$PHP_CORPUS"
echo
echo "== the window set offscreen"
IDLE_SECONDS="${IDLE_SECONDS:-2}" QT_QPA_PLATFORM=offscreen "$build/bench/bench_app_search" cookie
