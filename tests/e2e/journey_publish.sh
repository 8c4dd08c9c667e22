#!/usr/bin/env bash
# Publish the demo project to a real FTP server on loopback from the command
# line: "publish" with "autopublish" takes the project's settings without a
# dialog, then the test driver clicks File > FTP Publish Project. The server
# ends up with the project's files byte for byte, minus the one that carries
# the "don't publish" marker.
source "$(dirname "$0")/lib.sh"
copy_demo

# A file the project lists but that must stay on this machine.
printf '<?php //DONT PUBLISH\n$password = "local only";\n' > "$DEMO/inc/local.php"

home="$E2E_WORK/ftphome"
mkdir -p "$home"
/usr/bin/python3 "$E2E_SOURCE/tests/support/ftp_server.py" --home "$home" \
  --user tester --password secret >"$E2E_WORK/ftp.out" 2>"$E2E_WORK/ftp.err" &
e2e_pids+=($!)
port=""
for _ in $(seq 100); do
  port=$(head -1 "$E2E_WORK/ftp.out" 2>/dev/null || true)
  [ -n "$port" ] && (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  port=""
  sleep 0.1
done
[ -n "$port" ] || fail "the FTP server did not start: $(cat "$E2E_WORK/ftp.err")"

sed -i \
  -e "s|<ftp host=\"\" user=\"\" pass=\"\" folder=\"\"/>|<file path=\"inc\\\\local.php\" line=\"0\" publish=\"True\"/>\r\n   <ftp host=\"127.0.0.1:$port\" user=\"tester\" pass=\"secret\" folder=\"/www/demo\"/>|" \
  "$DEMO/demo.wdx"
grep -q "127.0.0.1:$port" "$DEMO/demo.wdx" || fail "the project's FTP settings were not written"

expected=(index.php product.php inc/catalogue.php inc/format.php css/site.css)
all_published() {
  local name
  for name in "${expected[@]}"; do
    cmp -s "$DEMO/$name" "$home/www/demo/$name" || return 1
  done
}

start_display
start_program "$DEMO/demo.wdx" autopublish publish click Publish2
for _ in $(seq 200); do
  all_published && break
  sleep 0.1
done
all_published || fail "the project's files did not reach the server"
# Let the run log its last lines before leaving.
sleep 1
snapshot
focus_main
keys alt+x
wait_exit

(cd "$home/www/demo" && find . -type f | sed 's|^\./||' | sort) > "$E2E_WORK/server.txt"
printf '%s\n' "${expected[@]}" | sort > "$E2E_WORK/expected.txt"
diff -u "$E2E_WORK/expected.txt" "$E2E_WORK/server.txt" || fail "the server holds other files than the project's"
grep -q 'host="127.0.0.1:'"$port"'" user="tester" pass="secret" folder="/www/demo"' "$DEMO/demo.wdx" \
  || fail "the settings changed although the dialog never showed"
echo "journey publish passed"
