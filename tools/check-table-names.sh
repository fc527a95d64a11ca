#!/usr/bin/env bash
# Fails when a source file of the program indexes the group tables or a
# matrix table with a literal number instead of a name from
# jobctl/tabnames.hpp: GRPTAB/IGRPTB with a numeric column, a group view's
# col()/icol() with a number, matrix-table words written as B + 26 and the
# like, or a column address written out as 1 + 12 * NG.  Comments are not
# checked.  The unit tests are left out on purpose: they pin the numbers.
#
# Usage: tools/check-table-names.sh [source root]
set -u
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 2

patterns=(
  '(GRPTAB|IGRPTB)\([^;]*,[[:space:]]*[0-9]+[[:space:]]*,'
  '\.i?col\([[:space:]]*[0-9]+[[:space:]]*[,)]'
  '\bB[A-Za-z0-9_]*[[:space:]]*\+[[:space:]]*(26|52|78|104|130|131)\b'
  '\b1[[:space:]]*\+[[:space:]]*[0-9]+[[:space:]]*\*[[:space:]]*(NG|ng)\b'
)

status=0
while IFS= read -r -d '' f; do
  # Code only: drop whole-line comments and trailing // comments.
  code=$(sed -e 's@^[[:space:]]*//.*$@@' -e 's@[[:space:]]//.*$@@' "$f")
  for p in "${patterns[@]}"; do
    hits=$(printf '%s\n' "$code" | grep -nE "$p")
    if [ -n "$hits" ]; then
      printf '%s\n' "$hits" | sed "s@^@$f:@"
      status=1
    fi
  done
done < <(find . -path ./tests -prune -o -path './build*' -prune -o -path ./.git -prune -o \
              \( -name '*.cpp' -o -name '*.hpp' \) ! -name tabnames.hpp -print0)

if [ "$status" -ne 0 ]; then
  echo "Literal table columns above: use the names of jobctl/tabnames.hpp." >&2
fi
exit "$status"
