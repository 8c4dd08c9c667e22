#!/usr/bin/env bash
# A real site (Debian's WordPress) opened as a project from File > Open Folder
# as Project..., with a .gitignore that takes back, a link looping up the
# tree, and a file made on disk while the program runs, which Quick Open
# (Ctrl+P) then finds four folders deep; Enter opens it; Alt+X leaves.
source "$(dirname "$0")/lib.sh"

debs="$E2E_BUILD/debs"
mkdir -p "$debs"
chmod 0777 "$debs" 2>/dev/null || true
(cd "$debs" && { ls wordpress_*.deb >/dev/null 2>&1 || apt-get download -q wordpress >/dev/null 2>&1; }) ||
  fail "apt-get download wordpress failed"
dpkg-deb -x "$(ls "$debs"/wordpress_*.deb | tail -1)" "$E2E_WORK/deb"
SITE="$E2E_WORK/wordpress"
mv "$E2E_WORK/deb/usr/share/wordpress" "$SITE"
printf '*.log\n!keep.log\n' >"$SITE/.gitignore"
echo x >"$SITE/debug.log"
echo x >"$SITE/keep.log"
ln -s "$SITE" "$SITE/wp-admin/loop"

start_display
start_program
keys alt+f d
dialog=$(wait_window "Open Folder as Project")
xdotool windowfocus --sync "$dialog"
keys ctrl+a
type_text "$SITE"
keys Return
find_windows --name "wordpress - Quillstone - $SITE/index.php" >/dev/null ||
  fail "the folder was not opened as a project"
[ -f "$SITE/wordpress.wdx" ] || fail "no project file was written in the folder"
grep -q 'keep.log' "$SITE/wordpress.wdx" || fail "the .gitignore's '!' was not honoured"
! grep -q 'debug.log\|loop' "$SITE/wordpress.wdx" || fail "ignored or looping files were taken in"

# Made while the program runs: the watched folder brings it in by itself.
views="$SITE/wp-content/plugins/akismet/views"
echo '<?php // made while running' >"$views/fresh_page.php"
sleep 3
focus_main
keys ctrl+p
type_text "akismet fresh"
keys Return
find_windows --name "wordpress - Quillstone - $views/fresh_page.php" >/dev/null ||
  fail "Quick Open did not open the new file"
snapshot
focus_main
keys alt+x
wait_exit
grep -q 'fresh_page.php' "$SITE/wordpress.wdx" || fail "the new file is not in the saved project"
echo "journey open_folder passed"
