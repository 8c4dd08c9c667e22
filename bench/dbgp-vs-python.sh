#!/usr/bin/env bash
# The program's DBGp client beside a minimal Python client, same page, same
# steps, same run (see the headers of bench_net_dbgp.cpp and dbgp_peer.py for
# where each time starts and ends). Usage: dbgp-vs-python.sh BUILD_DIR [ROUNDS]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
site="$(mktemp -d)"
trap 'rm -rf "$site"' EXIT
bash "$here/dbgp_site.sh" "$site"
"$1/bench/bench_net_dbgp" "$site" "${2:-20}"
/usr/bin/python3 "$here/dbgp_peer.py" "$site" "${2:-20}"
# The whole window, same page: F5, F10 and the array's first page.
QT_QPA_PLATFORM=offscreen QTWEBENGINE_DISABLE_SANDBOX=1 "$1/bench/bench_app_debug" "$site" "${3:-5}"
