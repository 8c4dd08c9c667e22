#!/usr/bin/env bash
# Starts the program on the demo project. The project is copied to the user's
# data folder first, so the program's saves never touch the repository.
set -euo pipefail
build="${1:-build}"
here="$(cd "$(dirname "$0")/.." && pwd)"
demo="${XDG_DATA_HOME:-$HOME/.local/share}/quillstone/demo"
if [ ! -f "$demo/demo.wdx" ]; then
  mkdir -p "$demo"
  cp -R "$here/data/demo/." "$demo/"
  rm -f "$demo/.gitattributes"
fi
echo "Demo project: $demo/demo.wdx"
echo "Run and the preview start PHP's server for it (php -S 127.0.0.1:8000 -t \"$demo\" -d display_errors=1 -d html_errors=1)"
exec "$build/quillstone" "$demo/demo.wdx"
