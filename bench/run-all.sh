#!/usr/bin/env bash
# Runs every benchmark and prints one table: each figure beside its target or
# its peer (Geany, grep, curl, lftp) measured in the same run, with the ratio.
#
#   bench/run-all.sh [BUILD_DIR]        (default: build)
#
# Needs the benchmark targets built (`make build` builds them) and, for the
# search figures, the PHP corpus (made on first use; see README.md).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export PHP_CORPUS="${PHP_CORPUS:-/tmp/phpcorpus}"
log="$(mktemp -d)"
trap 'rm -rf "$log"' EXIT

run() { # name, command...
  local name=$1; shift
  echo "running $name ..." >&2
  if ! "$@" >"$log/$name" 2>&1; then
    echo "  $name failed; its output:" >&2
    sed 's/^/    /' "$log/$name" >&2
  fi
}
# first number after a pattern in a file
num() { { grep -m1 -E "$2" "$log/$1" || true; } | sed -E "s/.*$2[^0-9]*([0-9]+(\.[0-9]+)?).*/\1/"; }
rows=()
row() { rows+=("$(printf '| %s | %s | %s | %s |' "$1" "$2" "$3" "$4")"); }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b > 0) printf "%.2f", a / b; else print "-" }'; }

if [ ! -d "$PHP_CORPUS" ]; then
  corpus_script="${CORPUS_SCRIPT:-$here/../shared/bench/make-php-corpus.sh}"
  [ -x "$corpus_script" ] && "$corpus_script" "$PHP_CORPUS" >&2 || echo "no PHP corpus; search rows skipped" >&2
fi

run startup bash "$here/bench/startup-vs-geany.sh" "$build" 10
run editor "$build/bench/bench_editor_open" 10
run project_io "$build/bench/bench_project_io"
run workspace "$build/bench/bench_app_workspace"
run capture "$build/bench/bench_project_capture"
run fetch "$build/bench/bench_net_fetch"
run completion "$build/bench/bench_app_completion"
if [ -d "$PHP_CORPUS" ]; then
  run functions "$build/bench/bench_project_functions" "$PHP_CORPUS"
  run search_many "$build/bench/bench_app_search" function
  run search_few "$build/bench/bench_app_search" cookie
fi
run own_server bash "$here/bench/run-own-server.sh" "$build" 5
run own_server_engine "$build/bench/bench_net_own_server" 20
run lint "$build/bench/bench_app_lint" 4 10
run publish bash "$here/bench/publish-vs-lftp.sh" "$(realpath --relative-to="$here" "$build")" 1

q=$(num startup 'start to exit:'); g=$(num startup 'geany, start to window mapped:')
row "start-up to end of first activation (\`click Exit1\`), ms" "$q" "Geany window mapped: $g" "$(ratio "$q" "$g") (aim ≤ 1)"
e=$(num editor 'editable window shown')
row "10 MB PHP file to an editable window, ms" "$e" "target 1000" "$(ratio "$e" 1000)"
s=$(awk '$1 == 10000 { print $3 }' "$log/project_io"); l=$(awk '$1 == 10000 { print $4 }' "$log/project_io")
row "save / load of a 10,000-file project, ms" "$s / $l" "target 100 each" "$(ratio "$l" 100)"
w=$(num workspace 'two 5 MB files:')
row "switch between two 5 MB files, ms" "$w" "target 300" "$(ratio "$w" 300)"
t=$(num workspace 'rebuild, 10,000 files:')
row "project tree rebuild, 10,000 files, ms" "$t" "target 150" "$(ratio "$t" 150)"
k=$(num workspace 'per keystroke:')
row "files dialog filter keystroke, 10,000 files, ms" "$k" "target 100" "$(ratio "$k" 100)"
c=$(grep -m1 'error near the end' "$log/capture" | awk '{ print $7 }')
row "error capture on a 20 MB page, ms" "$c" "target 50" "$(ratio "$c" 50)"
x=$(grep -m1 '^big.php' "$log/fetch" | awk '{ print $11 }'); cu=$(grep -m1 '^big.php' "$log/fetch" | awk '{ print $3 }')
row "Run's own time over the request, 20 MB page, ms" "$x" "curl request itself: $cu; target 20" "$(ratio "$x" 20)"
f=$(grep -m1 'first Ctrl+Space' "$log/completion" | sed -E 's/.*runs\)[[:space:]]+([0-9.]+) ms.*/\1/')
row "first Ctrl+Space, 10,000 manual pages, ms" "$f" "target 300" "$(ratio "$f" 300)"
if [ -s "$log/functions" ]; then
  sc=$(num functions 'ScanFunctions: median'); so=$(num functions 'SortRows 20,000 random rows: median')
  lit=$(grep -m1 'SortRows 20,000 random' "$log/functions" | sed -E 's/.*literal exchange ([0-9]+).*/\1/')
  row "function scan of 7,044 files, ms" "$sc" "target 1000" "$(ratio "$sc" 1000)"
  row "sort of 20,000 rows, ms" "$so" "literal exchange sort: $lit" "$(ratio "$so" "$lit")"
  for case in many few; do
    ours=$(grep -m1 'Find in Files' "$log/search_$case" | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
    grep_c=$(grep -m1 'LC_ALL=C' "$log/search_$case" | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
    hits=$(grep -m1 'Find in Files' "$log/search_$case" | sed -E 's/.*: ([0-9]+) rows.*/\1/')
    row "Find in Files, $hits hits, 7,044 files, ms" "$ours" "grep -rFin: $grep_c" "$(ratio "$ours" "$grep_c") (aim ≤ 2)"
  done
fi
o=$(num own_server 'own server, median ms:'); os=$(num own_server_engine 'until it accepts:')
row "Alt+R to the caret on the error line, fresh start, own PHP server, ms" "$o" "target 1500 (php -S start alone: $os)" "$(ratio "$o" 1500)"
keys() { grep -m1 "$1" "$log/lint" | sed -E 's/.*median +([0-9.]+) ms.*max +([0-9.]+) ms.*/\1 \/ \2/'; }
lb=$(keys 'php -l running'); lq=$(keys 'no check running'); lc=$(keys 'busy as long')
row "keystroke while php -l checks a 4 MB page, median / max ms" "$lb" "no check: $lq; another program busy: $lc" "-"
pf=$(awk '/1000 files/ && / ours / { print $(NF-1) }' "$log/publish" | head -1)
pl=$(awk '/1000 files/ && /lftp/ { print $(NF-1) }' "$log/publish" | head -1)
bf=$(awk '/100 MB file/ && / ours / { print $(NF-1) }' "$log/publish" | head -1)
bl=$(awk '/100 MB file/ && /lftp/ { print $(NF-1) }' "$log/publish" | head -1)
row "publish 1,000 small files, files/s" "$pf" "lftp mirror -R: $pl" "$(ratio "$pf" "$pl") (aim ≥ 1)"
row "publish a 100 MB file, MB/s" "$bf" "lftp mirror -R: $bl" "$(ratio "$bf" "$bl") (aim ≥ 0.8)"

echo
echo "| figure | Quillstone | peer or target | ratio |"
echo "|---|--:|---|--:|"
printf '%s\n' "${rows[@]}"
