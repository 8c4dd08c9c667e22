#!/usr/bin/env bash
# Runs every benchmark and prints one table: each figure beside its target or
# its peer (Geany, ripgrep, grep, curl, lftp) measured in the same run, with
# the ratio. Everything it needs is in the repository: the PHP corpus is made
# by bench/make-php-corpus.sh into bench/corpus/php on first use.
#
#   bench/run-all.sh [BUILD_DIR]        (default: build)
#
# Needs the benchmark targets built (`make bench` builds them, then runs
# this) and, for the search figures, the PHP corpus (made on first use; see
# README.md).
set -uo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "${1:-$here/build}" && pwd)"
export QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1
export PHP_CORPUS="${PHP_CORPUS:-$here/bench/corpus/php}"
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

if [ -z "$(find "$PHP_CORPUS" -name '*.php' -print -quit 2>/dev/null)" ]; then
  bash "$here/bench/make-php-corpus.sh" "$PHP_CORPUS" >&2 || echo "no PHP corpus; search rows skipped" >&2
fi

run startup bash "$here/bench/startup-vs-geany.sh" "$build" 10
if [ -d "$PHP_CORPUS" ]; then
  PHP_CORPUS="$PHP_CORPUS" run typing bash "$here/bench/typing-vs-geany.sh" "$build" 3 10
fi
run editor "$build/bench/bench_editor_open" 10
run indent bash "$here/bench/indent-wordpress.sh" "$build"
run keystroke "$build/bench/bench_editor_keystroke" 10 100
run project_io "$build/bench/bench_project_io"
run workspace "$build/bench/bench_app_workspace"
run capture "$build/bench/bench_project_capture"
run fetch "$build/bench/bench_net_fetch"
run completion "$build/bench/bench_app_completion"
run hostile "$build/bench/bench_app_hostile"
if [ -d "$PHP_CORPUS" ]; then
  run functions "$build/bench/bench_project_functions" "$PHP_CORPUS"
  run window_search bash "$here/bench/search-in-window.sh" "$build" 7
  run engine_search "$build/bench/bench_project_search" "$PHP_CORPUS"
  run symbols bash "$here/bench/symbols-vs-ctags.sh" "$build" 5
  run typing_index bash "$here/bench/typing-index-on-off.sh" "$build" 2 10 7
fi
run own_server bash "$here/bench/run-own-server.sh" "$build" 5
run own_server_engine "$build/bench/bench_net_own_server" 20
run lint "$build/bench/bench_app_lint" 4 10
run debugger bash "$here/bench/dbgp-vs-python.sh" "$build" 20 5
run publish bash "$here/bench/publish-vs-lftp.sh" "$(realpath --relative-to="$here" "$build")" 1
run publish_window bash "$here/bench/publish-window-vs-lftp.sh" "$build" 1
run publish_secure bash "$here/bench/publish-secure-window-vs-lftp.sh" "$build" 1

while IFS='|' read -r _ input ms peer peerMs result _; do
  row "$(echo $input), ms" "$(echo $ms)" "$(echo $peer): $(echo $peerMs)" "$(echo $result | cut -c1-40)"
done < <(grep -E '^\| [A-Za-z4]' "$log/hostile" | grep -v '^| input' || true)
q=$(num startup 'start to window mapped: +quillstone'); g=$(num startup 'start to window mapped: +quillstone [0-9.]+ +geany')
row "start-up, start to window mapped, ms" "$q" "Geany, same event: $g" "$(ratio "$q" "$g") (aim ≤ 0.8)"
q=$(num startup 'Ctrl\+Q at map: +quillstone'); g=$(num startup 'Ctrl\+Q at map: +quillstone [0-9.]+ +geany')
row "start-up, start to exit with Ctrl+Q at map, ms" "$q" "Geany, same event: $g" "$(ratio "$q" "$g") (aim ≤ 1)"
q=$(num typing 'Ctrl\+End: quillstone first'); g=$(num typing 'Ctrl\+End: quillstone first [0-9.]+ last [0-9.]+ \| geany-norescan first')
row "key to screen at the end of a 10 MB PHP file, ms" "$q" "Geany (symbol rescan off): $g" "$(ratio "$q" "$g") (aim ≤ 1.5)"
e=$(num editor 'editable window shown')
row "10 MB PHP file to an editable window, ms" "$e" "target 1000" "$(ratio "$e" 1000)"
i=$(num indent 'one change: median'); il=$(num indent 'line by line \(former\):')
row "Indent Code on formatting.php (6,140 lines), ms" "$i" "former line by line: $il; target 1000" "$(ratio "$i" 1000)"
kw=$(grep -A3 'in the middle' "$log/keystroke" | grep 'with line numbers' | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
ko=$(grep -A3 'in the middle' "$log/keystroke" | grep 'without line numbers' | sed -E 's/.*median ([0-9.]+) ms.*/\1/')
row "keystroke to paint, 10 MB file, line numbers on, ms" "$kw" "line numbers off: $ko" "$(ratio "$kw" "$ko") (aim ≤ 1)"
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
  so=$(num functions 'SortRows 20,000 random rows: median')
  lit=$(grep -m1 'SortRows 20,000 random' "$log/functions" | sed -E 's/.*literal exchange ([0-9]+).*/\1/')
  row "sort of 20,000 rows, ms" "$so" "literal exchange sort: $lit" "$(ratio "$so" "$lit")"
  # Find in Files: the window (Enter to rows shown), then the engine alone,
  # each beside rg -j2 of the same run.
  while IFS='|' read -r _ word hits window _ _ rg2 rg1 gr against _; do
    word=$(echo $word)
    row "Find in Files \"$word\" ($(echo $hits) rows), window on Xvfb, ms" "$(echo $window)" \
        "rg -j2: $(echo $rg2), rg -j1: $(echo $rg1), grep: $(echo $gr)" "$(echo $against) (aim ≤ 1)"
  done < <(grep -E '^\| [^w-]' "$log/window_search" | grep -v '^| word' || true)
  while read -r word; do
    ours=$(awk -v w="\"$word\":" '$1 == w { on = 1 } on && /Find in Files engine  / { print $(NF-1); exit }' "$log/engine_search")
    rg2=$(awk -v w="\"$word\":" '$1 == w { on = 1 } on && /rg -j2/ { print $4; exit }' "$log/engine_search")
    row "Find in Files \"$word\", engine alone, ms" "$ours" "rg -j2: $rg2" "$(ratio "$ours" "$rg2") (aim ≤ 1)"
  done < <(sed -n 's/^"\([^"]*\)": .*/\1/p' "$log/engine_search")
  fs=$(sed -n 's/^Functions... scan: .* median \([0-9.]*\) ms/\1/p' "$log/engine_search")
  fg=$(awk '/^Functions... scan/ { on = 1 } on && $1 == "grep" { print $3; exit }' "$log/engine_search")
  row "Functions... scan of 7,044 files, ms" "$fs" "grep for function lines: $fg" "$(ratio "$fs" "$fg")"
  si=$(num symbols 'symbol index, start to exit: median'); sc=$(num symbols 'ctags -R --languages=PHP, start to exit: median')
  row "PHP symbol index of 7,044 files, cold start to exit, ms" "$si" "ctags -R --languages=PHP: $sc" "$(ratio "$si" "$sc") (aim ≤ 1)"
  sm=$(num symbols 'x7: index memory: heap in use'); sd=$(grep -m1 'x7: Go to Definition' "$log/symbols" | sed -E 's/.*max ([0-9.]+) ms.*/\1/')
  row "symbol index of 49,000 files: heap MB / slowest Go to Definition ms" "$sm / $sd" "target: Go to Definition 50 ms" "$(ratio "$sd" 50)"
  ti=$(num typing_index 'index on : first'); to=$(num typing_index 'index off: first')
  row "typing with the index of 49,000 files on, key to first pixels, ms" "$ti" "index off: $to" "$(ratio "$ti" "$to") (aim ≤ 1.05)"
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
for server in pure-ftpd pyftpdlib; do
  line=$(grep -m1 "^$server *WordPress" "$log/publish_window" || true)
  [ -n "$line" ] || continue
  wq=$(sed -E 's/.*quillstone ([0-9.]+) s, lftp.*/\1/' <<<"$line"); wl=$(sed -E 's/.*lftp ([0-9.]+) s,.*/\1/' <<<"$line")
  row "whole program publishes WordPress to $server (Xvfb), s" "$wq" "lftp mirror -R: $wl" "$(ratio "$wq" "$wl") (aim ≤ 1)"
done
line=$(grep -m1 '^changes ' "$log/publish_secure" || true)
if [ -n "$line" ]; then
  c=$(sed -E 's/.*Publish Changes \(3 files changed\) ([0-9.]+) s.*/\1/' <<<"$line")
  f=$(sed -E 's/.*full publish ([0-9.]+) s.*/\1/' <<<"$line")
  row "whole program: Publish Changes of WordPress after 3 edits (Xvfb), s" "$c" "target 1 (full publish: $f)" "$(ratio "$c" 1)"
fi
for proto in ftps sftp; do
  line=$(grep -m1 "^$proto " "$log/publish_secure" || true)
  [ -n "$line" ] || continue
  wq=$(sed -E 's/.*quillstone ([0-9.]+) s, lftp.*/\1/' <<<"$line"); wl=$(sed -E 's/.*lftp ([0-9.]+) s,.*/\1/' <<<"$line")
  row "whole program publishes WordPress over $proto (Xvfb), s" "$wq" "lftp mirror -R over $proto: $wl" "$(ratio "$wq" "$wl") (aim ≤ 1)"
done

f5=$(num debugger "first F5 to stopped"); f5l=$(num debugger "later F5 to stopped")
st=$(num debugger "; step"); pg=$(num debugger "; array page")
pst=$(num debugger "python-peer.*step"); ppg=$(num debugger "python-peer.*array page")
row "Debug: F5 to stopped at a breakpoint, fresh start (window, browser start included), ms" "$f5" "target 1000 (later F5: $f5l)" "$(ratio "$f5" 1000)"
row "Debug: a step, F10 to marker and variables updated (window), ms" "$st" "target 100; Python DBGp client $pst" "$(ratio "$st" 100)"
row "Debug: first page of a 100,000-element array (window), ms" "$pg" "target 100; Python DBGp client $ppg" "$(ratio "$pg" 100)"

echo
echo "| figure | Quillstone | peer or target | ratio |"
echo "|---|--:|---|--:|"
printf '%s\n' "${rows[@]}"
