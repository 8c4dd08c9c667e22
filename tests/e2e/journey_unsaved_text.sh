#!/usr/bin/env bash
# Type a line, press Ctrl+L (the address box, never a cut line), come back
# with Ctrl+K, then File > Close: the question about the unsaved text is
# answered with real keys, Save the first time and Discard the second.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

focus_main
keys ctrl+End
type_text "// kept by the journey"
keys ctrl+l
type_text "zz"
keys ctrl+k
type_text " end"

# File > Close asks; Alt+S answers Save.
keys alt+f c
question=$(wait_window "Unsaved changes")
xdotool windowfocus --sync "$question"
keys alt+s
find_windows --name "^demo - Quillstone$" >/dev/null
grep -q "^// kept by the journey end$" "$DEMO/index.php" || fail "Ctrl+L cut the line or Save did not write it"
grep -q "zz" "$DEMO/index.php" && fail "keys meant for the address box reached the editor"

# Typed text in a file opened again, Close, and Alt+D answers Discard.
focus_main
keys F4
files=$(wait_window "Project Files")
xdotool windowfocus --sync "$files"
type_text "product"
keys Return
find_windows --name "demo - Quillstone - $DEMO/product.php" >/dev/null
before=$(md5sum <"$DEMO/product.php")
focus_main
type_text "thrown away"
keys alt+f c
question=$(wait_window "Unsaved changes")
xdotool windowfocus --sync "$question"
snapshot
keys alt+d
find_windows --name "^demo - Quillstone$" >/dev/null
[ "$(md5sum <"$DEMO/product.php")" = "$before" ] || fail "Discard wrote the file"

# Nothing left to ask: the first Alt+X ends the program.
focus_main
keys alt+x
wait_exit
echo "journey unsaved_text passed"
