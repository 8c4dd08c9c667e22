#!/usr/bin/env bash
# Find in Files and Functions... over the shared PHP corpus, compared with grep
# in the same run. Usage: bench/search-vs-grep.sh [TEXT]
# Env: PHP_CORPUS (default /tmp/phpcorpus), BUILD (default build-nav), IDLE_SECONDS.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
export PHP_CORPUS=${PHP_CORPUS:-/tmp/phpcorpus}
BUILD=${BUILD:-$HERE/../build-nav}
if [ ! -d "$PHP_CORPUS" ] || [ -z "$(find "$PHP_CORPUS" -name '*.php' -print -quit)" ]; then
  /work/shared/bench/make-php-corpus.sh "$PHP_CORPUS"
fi
cmake --build "$BUILD" --target bench_app_search bench_project_functions
"$BUILD/bench/bench_project_functions" "$PHP_CORPUS"
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_app_search" "${1:-cookie}"
