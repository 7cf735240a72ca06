#!/usr/bin/env bash
# The main job. It grows as the program does.
set -euo pipefail
build="${1:-build}"
if [ ! -x "$build/app/Ambertrail_P3D" ]; then
  echo "The program itself is not built yet: only the core services and settings exist so far." >&2
  echo "Run 'make test' to exercise them." >&2
  exit 1
fi
