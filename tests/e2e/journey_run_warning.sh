#!/usr/bin/env bash
# Run (Alt+R) against a real PHP server whose page raises a warning: the
# editor lands on the warning's line, which typing and saving shows on disk.
source "$(dirname "$0")/lib.sh"
copy_demo
cat > "$DEMO/broken.php" <<'PHP'
<?php
// A page with a mistake on line 4.
$prices = [];
echo $prices['missing'];
echo "<p>after</p>";
PHP
port=$(free_port)
php -d display_errors=1 -d html_errors=1 -S "127.0.0.1:$port" -t "$DEMO" >/dev/null 2>&1 &
e2e_pids+=($!)
for _ in $(seq 50); do (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

start_display
start_program "$DEMO/demo.wdx" address "http://127.0.0.1:$port/broken.php"
keys alt+r
mark_landing_and_exit
echo "journey run_warning passed"
