#!/usr/bin/env bash
# Rewrites the goldens of the named cases from the current build.  Use it only
# on purpose, after checking the new output by eye.
#
#   tests/scripts/refresh.sh <case> [<case> ...]      (run from the project root)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${QV_BIN:-$root/build/bin}" && pwd)
for c in "$@"; do
  bash "$root/tests/scripts/run_case.sh" "$root/tests/scripts/cases/$c" "$bin" --refresh
done
