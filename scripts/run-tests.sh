#!/usr/bin/env bash
# Runs every test of the build folder and ends with the count.
set -euo pipefail
build="${1:-build}"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
log="$build/ctest.log"
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" 2>&1 | tee "$log" || status=$?
summary=$(grep -E 'tests passed|tests failed' "$log" | tail -1 || true)
echo "Test summary: ${summary:-no tests ran}"
exit $status
