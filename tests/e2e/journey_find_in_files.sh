#!/usr/bin/env bash
# Find in Files (Ctrl+Shift+F) over the demo project, Enter on the first hit:
# the caret is on the hit's line, which typing and saving shows on disk.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

keys ctrl+shift+f
prompt=$(wait_window "Find in Files")
xdotool windowfocus --sync "$prompt"
type_text "catalogue_find"
keys Return
# The hits are listed and the grid has the focus; the first is in product.php.
focus_main
keys Return
find_windows --name "demo - Quillstone - $DEMO/product.php" >/dev/null
# The grid keeps the focus after the jump; Ctrl+K goes back to the editor.
focus_main
keys ctrl+k
keys Home
type_text "/* hit */ "
keys ctrl+s
snapshot
focus_main
keys alt+x
wait_exit

line=$(grep -n 'catalogue_find' "$DEMO/product.php" | head -1)
case "$line" in
  7:"/* hit */ \$product = catalogue_find"*) ;;
  *) fail "the caret was not on the first hit: $line" ;;
esac
echo "journey find_in_files passed"
