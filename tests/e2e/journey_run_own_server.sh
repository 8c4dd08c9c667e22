#!/usr/bin/env bash
# Run (Alt+R) on a fresh start with nothing serving the run address: the
# program starts PHP's server for the project itself, lands on the warning's
# line, and when it exits no php process is left on that port.
source "$(dirname "$0")/lib.sh"
copy_demo
export XDG_STATE_HOME="$E2E_WORK/state"
cat > "$DEMO/broken.php" <<'PHP'
<?php
// A page with a mistake on line 4.
$prices = [];
echo $prices['missing'];
echo "<p>after</p>";
PHP
port=$(free_port)
(echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && fail "port $port is taken before the start"

php_on_port() { pgrep -f -- "-S 127.0.0.1:$port " || true; }

start_display
start_program "$DEMO/demo.wdx" address "http://127.0.0.1:$port/broken.php"
keys alt+r
find_windows --name "Quillstone - $DEMO/broken.php" >/dev/null
[ -n "$(php_on_port)" ] || fail "no php server on port $port"
mark_landing_and_exit
grep -q "GET /broken.php" "$XDG_STATE_HOME/quillstone/php-server.log" || fail "the server log has no request"
for _ in $(seq 30); do [ -z "$(php_on_port)" ] && break; sleep 0.1; done
[ -z "$(php_on_port)" ] || fail "php is still running on port $port after the exit: $(php_on_port)"
echo "journey run_own_server passed"
