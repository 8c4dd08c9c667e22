# Shared steps of the benchmarks that run whole programs on a private Xvfb
# display. Source it after setting `here` (the repository); it makes a work
# folder that goes, with every process listed in `pids`, when the script ends.

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Sets `corpus` to the PHP corpus ($PHP_CORPUS or bench/corpus/php) as an
# absolute path, making it first when it has no PHP file.
ensure_corpus() {
  local wanted="${PHP_CORPUS:-$here/bench/corpus/php}"
  if [ -z "$(find "$wanted/" -name '*.php' -print -quit 2>/dev/null)" ]; then
    bash "$here/bench/make-php-corpus.sh" "$wanted" >&2
  fi
  corpus="$(cd "$wanted" && pwd)"
}

# The key-to-pixels timer, built into the work folder.
build_keypaint() {
  cc -O2 -o "$work/keypaint" "$here/bench/keypaint.c" -lX11 -lXtst -lXdamage -lXfixes
}

# Starts Xvfb on a number it picks itself (so runs side by side never share
# one) and exports DISPLAY once it accepts connections; the programs run on
# it as on a desktop, with their settings in the work folder.
start_display() {
  local number="$work/display-number"
  : >"$number"
  Xvfb -displayfd 3 -screen 0 1400x1000x24 -nolisten tcp 3>"$number" >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 300); do
    if grep -qE '^[0-9]+$' "$number" 2>/dev/null; then
      export DISPLAY=":$(head -n 1 "$number")"
      xdpyinfo >/dev/null 2>&1 && break
    fi
    sleep 0.1
  done
  xdpyinfo >/dev/null 2>&1 || { echo "no X display could be started" >&2; exit 1; }
  export XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
  export QTWEBENGINE_DISABLE_SANDBOX=1
  unset QT_QPA_PLATFORM
}

median() { sort -n | awk '{a[NR]=$1} END {if (NR == 0) print "-"; else print (NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2)}'; }
