#!/usr/bin/env bash
# Publish the demo project over SFTP to a real sshd on loopback, as a user
# does it: File > FTP Publish Changes from the keyboard, the unknown host key
# accepted with Alt+T, then a page edited and saved with real keys and
# Publish Changes again. The second run sends the edited page only: a file
# removed from the host meanwhile stays away, and the excluded notes never go.
source "$(dirname "$0")/lib.sh"
copy_demo
[ -x /usr/sbin/sshd ] || fail "sshd is missing: run scripts/install-deps.sh"

# The program's own home: its SSH key and known_hosts, nothing of the user's.
export HOME="$E2E_WORK/home"
mkdir -p "$HOME/.ssh"
chmod 700 "$HOME/.ssh"
ssh-keygen -q -t ed25519 -N '' -f "$HOME/.ssh/id_ed25519"

server="$E2E_WORK/sshd"
mkdir -p "$server"
ssh-keygen -q -t ed25519 -N '' -f "$server/host_key"
cp "$HOME/.ssh/id_ed25519.pub" "$server/authorized_keys"
port=$(free_port)
cat > "$server/sshd_config" <<CONFIG
ListenAddress 127.0.0.1
Port $port
HostKey $server/host_key
PidFile $server/sshd.pid
AuthorizedKeysFile $server/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
Subsystem sftp internal-sftp
CONFIG
# Privilege separation wants its folder when sshd starts as root.
if [ "$(id -u)" -eq 0 ]; then mkdir -p /run/sshd; chmod 755 /run/sshd; fi
/usr/sbin/sshd -D -e -f "$server/sshd_config" 2>"$E2E_WORK/sshd.log" &
e2e_pids+=($!)
for _ in $(seq 100); do (echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
(echo > "/dev/tcp/127.0.0.1/$port") 2>/dev/null || fail "sshd did not start: $(cat "$E2E_WORK/sshd.log")"

remote="$E2E_WORK/remote/demo"
printf '# notes that stay on this machine\n' > "$DEMO/NOTES.md"
sed -i \
  -e "s|<ftp host=\"\" user=\"\" pass=\"\" folder=\"\"/>|<file path=\"NOTES.md\" line=\"0\" publish=\"True\"/>\r\n   <ftp host=\"127.0.0.1:$port\" user=\"$(id -un)\" pass=\"\" folder=\"$remote\" protocol=\"sftp\"/>\r\n   <exclude pattern=\"*.md\"/>|" \
  "$DEMO/demo.wdx"
grep -q 'protocol="sftp"' "$DEMO/demo.wdx" || fail "the project's SFTP settings were not written"

expected=(index.php product.php inc/catalogue.php inc/format.php css/site.css)
all_published() {
  local name
  for name in "${expected[@]}"; do
    cmp -s "$DEMO/$name" "$remote/$name" || return 1
  done
}
wait_published() {
  for _ in $(seq 200); do
    all_published && return 0
    sleep 0.1
  done
  return 1
}

start_display
start_program "$DEMO/demo.wdx"
find_windows --name "demo - Quillstone - $DEMO/index.php" >/dev/null

# First run: nothing published before, so everything goes, once the user
# has accepted the server's key.
focus_main
keys alt+f h
question=$(wait_window "Unknown Host Key")
xdotool windowfocus --sync "$question"
keys alt+t
wait_published || fail "the first publish did not bring the project to the host"
grep -q "127.0.0.1\]:$port" "$HOME/.ssh/known_hosts" || fail "the accepted host key was not kept in known_hosts"

# Second run: only the edited page goes.
rm "$remote/product.php"
sleep 1
focus_main
keys ctrl+End
type_text "<!-- edited -->"
keys ctrl+s
focus_main
keys alt+f h
expected=(index.php inc/catalogue.php inc/format.php css/site.css)
wait_published || fail "the edited page did not reach the host"
sleep 1
snapshot
[ ! -e "$remote/product.php" ] || fail "Publish Changes sent a file that had not changed"
[ ! -e "$remote/NOTES.md" ] || fail "an excluded file reached the host"
xdotool search --onlyvisible --name "Unknown Host Key" >/dev/null 2>&1 && fail "the host key was asked about twice"
tail -c 20 "$remote/index.php" | grep -q -- "<!-- edited -->" || fail "the host's page is not the edited one"

focus_main
keys alt+x
wait_exit
echo "journey publish_changes passed"
