#!/usr/bin/env bash
# Publishing in the background, as a user meets it: File > FTP Publish
# Project on a big project to a slow FTP server on loopback, a line typed
# into the editor and saved while the run goes on (the text lands), the FTP
# panel's Cancel button pressed, then File > FTP Publish Changes: the host
# ends up equal to the project. A second publish ended by SIGTERM leaves no
# temporary upload behind.
source "$(dirname "$0")/lib.sh"
copy_demo

# Six hundred pages in thirty folders, listed in the project.
entries=""
for d in $(seq 1 30); do
  mkdir -p "$DEMO/big/d$d"
  for f in $(seq 1 20); do
    head -c 6000 /dev/urandom | base64 > "$DEMO/big/d$d/p$f.txt"
    entries+="   <file path=\"big\\\\d$d\\\\p$f.txt\" line=\"0\" publish=\"True\"/>\r\n"
  done
done

home="$E2E_WORK/ftphome"
mkdir -p "$home"
# Each transfer at 100 KB/s: the run lasts several seconds over four sessions.
/usr/bin/python3 "$E2E_SOURCE/tests/support/ftp_server.py" --home "$home" \
  --user tester --password secret --throttle 100000 >"$E2E_WORK/ftp.out" 2>"$E2E_WORK/ftp.err" &
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
  -e "s|<ftp host=\"\" user=\"\" pass=\"\" folder=\"\"/>|${entries}   <ftp host=\"127.0.0.1:$port\" user=\"tester\" pass=\"secret\" folder=\"/www/demo\"/>|" \
  "$DEMO/demo.wdx"
grep -q "127.0.0.1:$port" "$DEMO/demo.wdx" || fail "the project's FTP settings were not written"
remote="$home/www/demo"
published() { find "$remote" -type f 2>/dev/null | wc -l; }
listed=$(grep -c '<file path=' "$DEMO/demo.wdx")

start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

focus_main
keys alt+f t
for _ in $(seq 100); do [ "$(published)" -gt 20 ] && break; sleep 0.1; done
[ "$(published)" -gt 20 ] || fail "the publish did not start"

# The editor takes keys while the run goes on, and a save lands on disk.
focus_main
keys ctrl+End
type_text "<!-- typed while publishing -->"
keys ctrl+s
tail -c 40 "$DEMO/index.php" | grep -q -- "<!-- typed while publishing -->" ||
  fail "the text typed during the publish did not land"
during=$(published)
[ "$during" -lt "$listed" ] || fail "the publish ended before the text was typed: nothing was tested"

# Cancel: the button at the right end of the FTP panel, above the status bar.
eval "$(xdotool getwindowgeometry --shell "$MAIN_WINDOW")"
xdotool mousemove --window "$MAIN_WINDOW" $((WIDTH - 30)) $((HEIGHT - 60)) click 1
# The files being sent are finished; then nothing more arrives.
stopped=-1
for _ in $(seq 20); do
  sleep 1
  now=$(published)
  [ "$now" -eq "$stopped" ] && break
  stopped=$now
done
[ "$(published)" -eq "$stopped" ] || fail "the publish went on after Cancel"
[ "$stopped" -lt "$listed" ] || fail "Cancel came too late: every file was sent"
snapshot
find "$remote" -name '.qs-upload-*' | grep -q . && fail "a temporary upload stayed on the host"

# Publish Changes sends the rest, and the page saved during the run.
focus_main
keys alt+f h
for _ in $(seq 600); do
  diff -r -x demo.wdx -x '.gitattributes' "$DEMO" "$remote" >/dev/null 2>&1 && break
  sleep 0.1
done
diff -r -x demo.wdx "$DEMO" "$remote" >/dev/null || fail "the host differs from the project: $(diff -rq -x demo.wdx "$DEMO" "$remote" | head -3)"

# A logout's SIGTERM in the middle of a file: the run still ends after the
# files being sent, so no temporary upload stays on the host.
focus_main
keys alt+f t
for _ in $(seq 200); do
  find "$remote" -name '.qs-upload-*' | grep -q . && break
  sleep 0.05
done
find "$remote" -name '.qs-upload-*' | grep -q . || fail "the second publish sent nothing"
kill -TERM "$PROGRAM_PID"
status=0
wait "$PROGRAM_PID" 2>/dev/null || status=$?
[ "$status" = 143 ] || fail "SIGTERM did not end the program as a signal ($status)"
find "$remote" -name '.qs-upload-*' | grep -q . && fail "a temporary upload stayed on the host after SIGTERM"
echo "journey publish_background passed"
