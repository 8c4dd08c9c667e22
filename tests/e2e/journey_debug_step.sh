#!/usr/bin/env bash
# Debug with real keys: F9 on a line, F5 starts the own server with Xdebug
# and the preview's request stops there (the caret lands on it), F10 steps
# and the Variables panel shows the new value (the screenshot), Shift+F5
# stops; the caret stays on the stepped-to line, which a typed mark proves.
source "$(dirname "$0")/lib.sh"
php -n -d zend_extension=xdebug.so -r 'exit(extension_loaded("xdebug") ? 0 : 1);' ||
  fail "Xdebug (php-xdebug) is not installed"
copy_demo
export XDG_STATE_HOME="$E2E_WORK/state"
cat > "$DEMO/debug.php" <<'PHP'
<?php
$count = 1;
$count = $count + 41;
$label = "count is $count";
echo $label;
PHP
port=$(free_port)
sed -i "s|<opened path=\"\"/>|<file path=\"debug.php\" line=\"1\" publish=\"True\"/><opened path=\"$DEMO/debug.php\"/>|" "$DEMO/demo.wdx"

start_display
start_program "$DEMO/demo.wdx" address "http://127.0.0.1:$port/debug.php"
find_windows --name "Quillstone - $DEMO/debug.php" >/dev/null
focus_main
keys ctrl+Home Down Down
keys F9
keys ctrl+End
keys F5
# The preview's request reaches the server (which then waits on the stop).
log="$XDG_STATE_HOME/quillstone/php-server.log"
for _ in $(seq 150); do
  grep -q "Accepted" "$log" 2>/dev/null && break
  sleep 0.2
done
grep -q "xdebug.client_port" "$log" || fail "the server was not started with Xdebug: $(cat "$log")"
sleep 1.5
focus_main
keys F10
sleep 1
snapshot
keys shift+F5
sleep 0.5
focus_main
keys Home
type_text "/* here */ "
keys ctrl+s
focus_main
keys alt+x
wait_exit
sed -n 4p "$DEMO/debug.php" | grep -q '^/\* here \*/ \$label' ||
  fail "the caret was not on the stepped-to line: $(sed -n 4p "$DEMO/debug.php")"
grep -q 'breakpoint path="debug.php" line="3"' "$DEMO/demo.wdx" ||
  fail "the breakpoint was not kept in the project: $(cat "$DEMO/demo.wdx")"
echo "journey debug_step passed"
