#!/usr/bin/env bash
# A syntax error typed is marked while typing, with no save: after a pause a
# red marker and squiggle appear in the editor; mending the line takes them
# away. The marks are found by their colours in screenshots.
source "$(dirname "$0")/lib.sh"
start_display
W="$E2E_WORK/site"
mkdir -p "$W"
printf '<?php\n$total = 1;\necho $total;\n' >"$W/page.php"
cat >"$W/site.wdx" <<'XML'
<WENDLOR_Project>
   <file path="page.php" line="0" publish="True"/>
   <ftp host="" user="" pass="" folder=""/>
   <address address="http://127.0.0.1:8000"/>
   <DatabaseAddress address="http://127.0.0.1/pa/"/>
   <opened path="page.php"/>
</WENDLOR_Project>
XML

# Pixels of the error marker's and the squiggle's colours on the screen.
red_pixels() {
  import -display "$DISPLAY" -window root "$E2E_WORK/now.png"
  convert "$E2E_WORK/now.png" txt:- | grep -ciE '#(E61E1E|DC0000)' || true
}
# Waits up to 10 s for the red pixels to be there (yes) or gone (no).
wait_red() {
  local want=$1 n
  for _ in $(seq 20); do
    n=$(red_pixels)
    if { [ "$want" = yes ] && [ "$n" -gt 0 ]; } || { [ "$want" = no ] && [ "$n" -eq 0 ]; }; then
      return 0
    fi
    sleep 0.5
  done
  return 1
}

start_program "$W/site.wdx"
find_windows --name "site - Quillstone - $W/page.php" >/dev/null
focus_main
wait_red no || fail "a clean file shows red marks"
keys ctrl+End
type_text '$broken = ;'
wait_red yes || fail "the error typed was not marked"
cp "$E2E_WORK/now.png" "$E2E_SHOTS/$E2E_NAME.png"
# Mended: "$broken = 1;"
focus_main
keys Left
type_text '1'
wait_red no || fail "the marks stayed after the error was mended"
keys ctrl+s
sleep 0.3
keys alt+x
wait_exit
grep -qx '$broken = 1;' "$W/page.php" || fail "the mended line was not saved: $(tail -1 "$W/page.php")"
echo "journey syntax_errors passed"
