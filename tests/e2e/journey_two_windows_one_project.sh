#!/usr/bin/env bash
# Two copies of the program on one project: the second offers to bring the
# first to the front and goes; an entry a script adds to the project file
# while the first is open survives the first one's write at exit.
source "$(dirname "$0")/lib.sh"
copy_demo
start_display
start_program "$DEMO/demo.wdx"
FIRST_PID=$PROGRAM_PID
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

"$E2E_BUILD/quillstone" "$DEMO/demo.wdx" >"$E2E_WORK/second.log" 2>&1 &
SECOND_PID=$!
e2e_pids+=($SECOND_PID)
question=$(wait_window "Project already open")
xdotool windowfocus --sync "$question"
snapshot
keys Return # the default: bring the first to the front
for _ in $(seq 100); do kill -0 "$SECOND_PID" 2>/dev/null || break; sleep 0.1; done
kill -0 "$SECOND_PID" 2>/dev/null && fail "the second copy stayed"

# A script adds a file to the project while the first copy has it open.
printf '<?php echo "added";\n' >"$DEMO/added.php"
sed -i 's|   <ftp |   <file path="added.php" line="0" publish="True"/>\r\n   <ftp |' "$DEMO/demo.wdx"

# The user switches documents (the project changes), then leaves.
PROGRAM_PID=$FIRST_PID
focus_main
keys F4
files=$(wait_window "Project Files")
xdotool windowfocus --sync "$files"
type_text "product"
keys Return
find_windows --name "demo - Quillstone - $DEMO/product.php" >/dev/null
focus_main
keys alt+x
wait_exit
grep -q 'path="added.php"' "$DEMO/demo.wdx" || fail "the script's entry was dropped"
grep -q "<opened path=\"$DEMO/product.php\"/>" "$DEMO/demo.wdx" || fail "the first copy's change was not written"
echo "journey two_windows_one_project passed"
