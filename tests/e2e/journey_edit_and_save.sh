#!/usr/bin/env bash
# Open the demo project, jump to a file with F4, edit it, save with Ctrl+S and
# leave with Alt+X: the file and the project on disk show it.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"

# The project opens on its first file.
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

keys F4
files=$(wait_window "Project Files")
xdotool windowfocus --sync "$files"
type_text "format"
keys Return
find_windows --name "demo - Quillstone - $DEMO/inc/format.php" >/dev/null

focus_main
keys ctrl+End
type_text "// edited end to end"
keys ctrl+s
snapshot
focus_main
keys alt+x
wait_exit

tail -c 30 "$DEMO/inc/format.php" | grep -q "// edited end to end" || fail "the edit did not reach the file"
grep -q "<opened path=\"$DEMO/inc/format.php\"/>" "$DEMO/demo.wdx" || fail "the project does not name the open file"
grep -q "<file path=\"inc\\\\format.php\"" "$DEMO/demo.wdx" || fail "the project lost its relative paths"
echo "journey edit_and_save passed"
