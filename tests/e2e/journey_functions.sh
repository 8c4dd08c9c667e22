#!/usr/bin/env bash
# F2 lists the project's functions; typing filters them and Enter opens the
# chosen one's file at its declaration.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

keys F2
dialog=$(wait_window "Project Functions")
xdotool windowfocus --sync "$dialog"
type_text "price"
keys Return
find_windows --name "demo - Quillstone - $DEMO/inc/format.php" >/dev/null
focus_main
keys Home
type_text "/* declared here */ "
keys ctrl+s
snapshot
focus_main
keys alt+x
wait_exit

line=$(grep -n 'function price' "$DEMO/inc/format.php")
case "$line" in
  9:"/* declared here */ function price(\$amount)"*) ;;
  *) fail "the caret was not on the declaration: $line" ;;
esac
echo "journey functions passed"
