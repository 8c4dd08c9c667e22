#!/usr/bin/env bash
# Starts the program on the demo project shipped in data/demo.
set -euo pipefail
build="${1:-build}"
here="$(cd "$(dirname "$0")/.." && pwd)"
exec "$build/quillstone" "$here/data/demo/demo.wdx"
