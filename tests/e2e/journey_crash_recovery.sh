#!/usr/bin/env bash
# Typing, then the program is killed outright: the next start offers the
# unsaved text back with its path, and Restore puts it in the editor. A
# SIGTERM a moment after typing leaves that text in the copy. The
# syntax check the save before started (a php -l that never ends) goes with
# the program.
source "$(dirname "$0")/lib.sh"
copy_demo
mkdir -p "$E2E_WORK/bin"
export LINT_PIDS="$E2E_WORK/lint.pids"
cat >"$E2E_WORK/bin/php" <<SH
#!/bin/sh
for a in "\$@"; do
  if [ "\$a" = -l ]; then echo \$\$ >>"\$LINT_PIDS"; exec sleep 600; fi
done
exec $(command -v php) "\$@"
SH
chmod +x "$E2E_WORK/bin/php"
export PATH="$E2E_WORK/bin:$PATH"

start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null
focus_main
keys ctrl+End
type_text "// saved"
keys ctrl+s
for _ in $(seq 50); do [ -s "$LINT_PIDS" ] && break; sleep 0.1; done
[ -s "$LINT_PIDS" ] || fail "the save started no syntax check"
keys Return
type_text "// typed just before the crash"
sleep 4 # a copy is taken every few seconds
kill -9 "$PROGRAM_PID"
wait "$PROGRAM_PID" 2>/dev/null || true
grep -q "typed just before the crash" "$DEMO/index.php" && fail "the text reached the file without a save"
sleep 1
# Gone, or a zombie waiting for a parent that reaps: either way no longer running.
while read -r pid; do
  state=$(ps -o stat= -p "$pid" || true)
  [ -n "$state" ] && [ "${state#Z}" = "$state" ] && fail "php -l ($pid) outlived the program"
done <"$LINT_PIDS"
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

# A logout's SIGTERM right after typing: the copy holds the text, with no
# wait for the next periodic copy.
focus_main
keys Return
type_text "// typed just before the logout"
kill -TERM "$PROGRAM_PID"
status=0
wait "$PROGRAM_PID" 2>/dev/null || status=$?
[ "$status" = 143 ] || fail "SIGTERM did not end the program as a signal ($status)"
copy=$(ls "$XDG_STATE_HOME"/quillstone/recovery/*.txt) || fail "SIGTERM left no recovery copy"
grep -q "typed just before the logout" "$copy" || fail "the copy misses the text typed before SIGTERM"
echo "journey crash_recovery passed"
