#!/usr/bin/env bash
# Fails when a source file of the program indexes the group tables or a
# matrix table with a literal number instead of a name from
# jobbase/tabnames.hpp: GRPTAB/IGRPTB with a numeric column, a group view's
# col()/icol() with a number, matrix-table words written as B + 26 and the
# like, or a column address written out as 1 + 12 * NG.  Comments are not
# checked.  The unit tests are left out on purpose: they pin the numbers.
#
# Usage: tools/check-table-names.sh [source root]
set -u
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 2

files=$(find . -path ./tests -prune -o -path './build*' -prune -o -path ./.git -prune -o \
             \( -name '*.cpp' -o -name '*.hpp' \) ! -name tabnames.hpp -print)

# One pass: each line without its comment, tested against the patterns.
awk '
  BEGIN {
    p[1] = "(GRPTAB|IGRPTB)\\([^;]*,[ \t]*[0-9]+[ \t]*,"
    p[2] = "\\.i?col\\([ \t]*[0-9]+[ \t]*[,)]"
    p[3] = "(^|[^A-Za-z0-9_])B[A-Za-z0-9_]*[ \t]*\\+[ \t]*(26|52|78|104|130|131)([^0-9]|$)"
    p[4] = "(^|[^0-9])1[ \t]*\\+[ \t]*[0-9]+[ \t]*\\*[ \t]*(NG|ng)([^A-Za-z0-9_]|$)"
    bad = 0
  }
  {
    line = $0
    sub(/\/\/.*$/, "", line)
    for (i = 1; i <= 4; ++i)
      if (line ~ p[i]) { print FILENAME ":" FNR ": " $0; bad = 1; break }
  }
  END { exit bad }
' $files
status=$?

if [ "$status" -ne 0 ]; then
  echo "Literal table columns above: use the names of jobbase/tabnames.hpp." >&2
fi
exit "$status"
