#!/usr/bin/env bash
# Unsaved typing, then another program rewrites the file and the user comes
# back to the window: Return keeps the typing; the second time Alt+R reloads
# and Ctrl+Z brings the typing back.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

# Another program's window takes the focus while the file changes.
away_and_back() {
  xmessage -title "other program" "another program" &
  e2e_pids+=($!)
  local other
  other=$(wait_window "other program")
  xdotool windowfocus --sync "$other"
  sleep 0.5
  "$@"
  kill "${e2e_pids[-1]}" 2>/dev/null || true
  focus_main
}

focus_main
keys ctrl+End
type_text "// typed, not saved"
away_and_back sh -c "printf '<?php echo \"theirs\";\n' >'$DEMO/index.php'"
question=$(wait_window "Changed on disk")
xdotool windowfocus --sync "$question"
keys Return # the default keeps the editor's text
focus_main
keys ctrl+s
grep -q "^// typed, not saved$" "$DEMO/index.php" || fail "Return did not keep the typing"

type_text " and more"
away_and_back sh -c "printf '<?php echo \"second\";\n' >'$DEMO/index.php'"
question=$(wait_window "Changed on disk")
xdotool windowfocus --sync "$question"
snapshot
keys alt+r
focus_main
keys ctrl+z
keys ctrl+s
grep -q "^// typed, not saved and more$" "$DEMO/index.php" || fail "Ctrl+Z did not bring the typing back after the reload"

focus_main
keys alt+x
wait_exit
echo "journey reload_keeps_edits passed"
