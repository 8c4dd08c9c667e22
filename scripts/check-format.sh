#!/usr/bin/env bash
# Fails when a C++ source under src/, tests/ or bench/ is not formatted as the
# checked-in .clang-format says, and names each such file. Fix one with
# `clang-format -i FILE`.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "check-format: clang-format is missing; run scripts/install-deps.sh" >&2
  exit 2
fi
mapfile -t files < <(find src tests bench -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) | sort)
unformatted=()
for f in "${files[@]}"; do
  if ! clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1; then
    unformatted+=("$f")
  fi
done
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'check-format: not formatted: %s\n' "${unformatted[@]}" >&2
  echo "check-format: ${#unformatted[@]} of ${#files[@]} files need clang-format -i" >&2
  exit 1
fi
echo "check-format: all ${#files[@]} files formatted"
