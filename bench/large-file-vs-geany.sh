#!/usr/bin/env bash
# Opening very large files against Geany in the same run, on a private Xvfb
# display, sides alternating, each alone on the display while timed:
#   a 200 MB PHP file (the corpus's .php files joined, whole lines, repeated)
#   a 10 MB file of one line (the same text with its line ends made blanks)
# and, for Quillstone only, the 200 MB file as the document of a project
# (the project named on the command line).
#
#   starts: the fork of `quillstone FILE` / `geany FILE` (mapwait.c; Geany
#           with a configuration folder of the run's own)
#   ends:   a mapped window's caption names the file (both programs set it
#           once the text is in the editor)
# Medians of RUNS (default 3); the ratio is ours / Geany's. A side that takes
# longer than TIMEOUT seconds (default 300) counts as that.
#
# Usage: bench/large-file-vs-geany.sh [BUILD_DIR] [RUNS] [TIMEOUT]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/bench/desktop-lib.sh"
build="$(cd "${1:-$here/build}" && pwd)"
runs="${2:-3}"
timeout="${3:-300}"
ensure_corpus
command -v geany >/dev/null || { echo "geany is not installed" >&2; exit 1; }

cc -O2 -o "$work/mapwait" "$here/bench/mapwait.c" -lX11

# The files: whole lines of PHP up to 200 MB; one 10 MB line.
find "$corpus" -type f -name '*.php' -print0 | sort -z | xargs -0 cat > "$work/joined.txt"
: > "$work/big200.php"
while [ "$(stat -c %s "$work/big200.php")" -lt 200000000 ]; do cat "$work/joined.txt" >> "$work/big200.php"; done
truncate -s 200000000 "$work/big200.php"
printf '\n' >> "$work/big200.php"
head -c 10000000 "$work/joined.txt" | tr '\r\n' '  ' > "$work/oneline10.php"
rm -f "$work/joined.txt"
printf '<WENDLOR_Project>\r\n   <file path="big200.php" line="0" publish="True"/>\r\n</WENDLOR_Project>\r\n' > "$work/big.wdx"

start_display

# Fork to a caption naming TITLE; TIMEOUT*1000 when it never comes.
timed() {
  local title=$1 out t
  shift
  out=$("$work/mapwait" -T "$title" -s 0 -t "$timeout" -- "$@" 2>/dev/null || true)
  t=$(sed -n 's/.*title_ms=\([0-9.]*\).*/\1/p' <<<"$out")
  echo "${t:-$((timeout * 1000))}"
}

printf '| file | Quillstone: fork to caption | Geany: fork to caption | ratio |\n|---|--:|--:|--:|\n'
for file in big200.php oneline10.php; do
  ours=(); peer=()
  for r in $(seq "$runs"); do
    export XDG_CONFIG_HOME="$work/config-$file-$r"
    if [ $((r % 2)) -eq 1 ]; then
      ours+=("$(timed "$file" "$build/quillstone" "$work/$file")")
      peer+=("$(timed "$file" geany -c "$work/geany-$r" "$work/$file")")
    else
      peer+=("$(timed "$file" geany -c "$work/geany-$r" "$work/$file")")
      ours+=("$(timed "$file" "$build/quillstone" "$work/$file")")
    fi
  done
  o=$(printf '%s\n' "${ours[@]}" | median); g=$(printf '%s\n' "${peer[@]}" | median)
  awk -v f="$file" -v o="$o" -v g="$g" 'BEGIN { printf "| %s | %.0f | %.0f | %.2f |\n", f, o, g, o / g }'
done
inproject=()
for r in $(seq "$runs"); do
  export XDG_CONFIG_HOME="$work/config-project-$r"
  inproject+=("$(timed "big200.php" "$build/quillstone" "$work/big.wdx")")
done
printf '| big200.php as the document of a project (ours only) | %.0f | | |\n' "$(printf '%s\n' "${inproject[@]}" | median)"
