#!/usr/bin/env bash
# Two files in two tabs with saving on leaving switched off: edit both,
# Ctrl+Tab between them (each keeps its text, nothing is written), close one
# with Ctrl+W and answer Discard with a real key, then leave with Alt+X and
# answer Save for the other.
source "$(dirname "$0")/lib.sh"
copy_demo
mkdir -p "$XDG_CONFIG_HOME/quillstone"
printf '[Software\\quillstone\\SaveOnLeave]\nString=0\n' >"$XDG_CONFIG_HOME/quillstone/settings.ini"
index_before=$(md5sum <"$DEMO/index.php")
product_before=$(md5sum <"$DEMO/product.php")
start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

focus_main
keys ctrl+End
type_text "// first tab"
# The second file opens in a tab of its own.
keys F4
files=$(wait_window "Project Files")
xdotool windowfocus --sync "$files"
type_text "product"
keys Return
find_windows --name "^\*?demo - Quillstone - $DEMO/product.php$" >/dev/null
focus_main
keys ctrl+End
type_text "// second tab"

# Back and forth: each tab keeps its own unsaved text, none is written.
keys ctrl+Tab
find_windows --name "^\*demo - Quillstone - $DEMO/index.php$" >/dev/null ||
  fail "Ctrl+Tab did not bring back the first tab with its unsaved text"
type_text " more"
keys ctrl+Tab
find_windows --name "^\*demo - Quillstone - $DEMO/product.php$" >/dev/null
snapshot
[ "$(md5sum <"$DEMO/index.php")" = "$index_before" ] || fail "switching tabs wrote index.php"
[ "$(md5sum <"$DEMO/product.php")" = "$product_before" ] || fail "switching tabs wrote product.php"

# Ctrl+W on unsaved text asks; Alt+D answers Discard and the tab goes.
focus_main
keys ctrl+w
question=$(wait_window "Unsaved changes")
xdotool windowfocus --sync "$question"
keys alt+d
find_windows --name "^\*demo - Quillstone - $DEMO/index.php$" >/dev/null ||
  fail "closing the second tab did not show the first with its text"
[ "$(md5sum <"$DEMO/product.php")" = "$product_before" ] || fail "Discard wrote product.php"

# Leaving asks about the text left; Alt+S saves it.
focus_main
keys alt+x
question=$(wait_window "Unsaved changes")
xdotool windowfocus --sync "$question"
keys alt+s
wait_exit
grep -q "// first tab more$" "$DEMO/index.php" || fail "Save at exit did not write the first tab's text"
echo "journey tabs passed"
