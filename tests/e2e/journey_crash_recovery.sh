#!/usr/bin/env bash
# Typing, then the program is killed outright: the next start offers the
# unsaved text back with its path, and Restore puts it in the editor.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
xdotool search --sync --name "demo - Quillstone - $DEMO/index.php" >/dev/null
focus_main
keys ctrl+End
type_text "// typed just before the crash"
sleep 4 # a copy is taken every few seconds
kill -9 "$PROGRAM_PID"
wait "$PROGRAM_PID" 2>/dev/null || true
grep -q "typed just before the crash" "$DEMO/index.php" && fail "the text reached the file without a save"
copy=$(ls "$XDG_STATE_HOME"/quillstone/recovery/*.txt) || fail "no recovery copy was left"
[ "$(stat -c %a "$copy")" = 600 ] || fail "the recovery copy is readable by others"

start_program "$DEMO/demo.wdx"
question=$(wait_window "Recover unsaved text")
xdotool windowfocus --sync "$question"
snapshot
keys alt+r
focus_main
keys ctrl+s
grep -q "^// typed just before the crash$" "$DEMO/index.php" || fail "Restore did not bring the text back"
[ -z "$(ls "$XDG_STATE_HOME"/quillstone/recovery/)" ] || fail "the copy outlived the save"
focus_main
keys alt+x
wait_exit
echo "journey crash_recovery passed"
