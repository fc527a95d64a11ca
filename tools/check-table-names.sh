#!/usr/bin/env bash
# Fails when a source file of the program writes a code of the data model as
# a bare number where jobbase/tabnames.hpp has a name for it.
#
# Table columns and words:
#   1  GRPTAB/IGRPTB with a numeric column;
#   2  a group view's col()/icol() with a number;
#   3  matrix-table words written as B + 26 and the like;
#   4  a column address written out as 1 + 12 * NG.
# Matrix types, fit codes and group kinds (the kType*, kFit* and kKind*
# names):
#   5  a matrix-table type word (MTTYPE, a group view's type()) compared
#      with or set to a number;
#   6  the fit-code or group-kind column (gcol::kFitCode, gcol::kKind)
#      compared with or set to a number;
#   7  in a file that includes tabnames.hpp, a variable named for one of
#      these codes (type, rtype and the like, kind, grpkind, fitcod, fitcode)
#      compared with a number, or set to a number other than 0 (0 is how a
#      variable starts out);
#   8  a numeric case label in a switch on one of the above;
#   9  EXPMAT/EXPPAT with a numeric type argument.
# Comments and the text of string literals are not checked.  The unit tests
# are left out on purpose: they pin the numbers.  Names such as "type" also
# serve other codes in files that do not include tabnames.hpp (the
# optimizer's problem type, a quadrature rule's type), which is why rule 7
# looks only at the files that include it.
#
# Usage: tools/check-table-names.sh [source root]
set -u
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 2

files=$(find . -path ./tests -prune -o -path './build*' -prune -o -path ./.git -prune -o \
             \( -name '*.cpp' -o -name '*.hpp' \) ! -name tabnames.hpp -print | sort)
# The files where the names are at hand.
includers=$(grep -l '#include "[a-z_/]*tabnames.hpp"' $files | tr '\n' ' ')

# One pass: each line without its comment and string text, tested against
# the patterns.
awk -v includers="$includers" '
  BEGIN {
    n = split(includers, a, " ")
    for (i = 1; i <= n; ++i) inc[a[i]] = 1

    op = "[ \t]*(==|!=|<=|>=|<|>|=)[ \t]*-?[0-9]"
    cmp = "[ \t]*(==|!=|<=|>=|<|>)[ \t]*-?[0-9]"
    setnz = "[ \t]*=[ \t]*-?[1-9][0-9]*[ \t]*[;,)]"
    names = "(type|[a-z]type|kind|grpkind|grpknd|fitcod|fitcode|FITCOD|GRPKND)"
    before = "(^|[^A-Za-z0-9_.>:])"
    call = "\\(([^()]|\\([^()]*\\))*\\)"

    p[1] = "(GRPTAB|IGRPTB)\\([^;]*,[ \t]*[0-9]+[ \t]*,"
    p[2] = "\\.i?col\\([ \t]*[0-9]+[ \t]*[,)]"
    p[3] = "(^|[^A-Za-z0-9_])B[A-Za-z0-9_]*[ \t]*\\+[ \t]*(26|52|78|104|130|131)([^0-9]|$)"
    p[4] = "(^|[^0-9])1[ \t]*\\+[ \t]*[0-9]+[ \t]*\\*[ \t]*(NG|ng)([^A-Za-z0-9_]|$)"
    p[5] = "(MTTYPE|\\.type)" call "[ \t]*\\)?" op
    p[6] = "gcol::k(FitCode|Kind)[ \t]*(,[^;)]*)?\\)[ \t]*\\)?" op
    p[7] = "(EXPMAT|EXPPAT)\\([^,]*,[^,]*,[ \t]*-?[0-9]+[ \t]*,"
    np = 7
    v[1] = before names cmp
    v[2] = before names setnz
    nv = 2
    codeswitch = "switch[ \t]*\\(.*(MTTYPE|\\.type\\(|gcol::k(FitCode|Kind))"
    varswitch = "switch[ \t]*\\([ \t]*(icell\\()?[ \t]*" names "[ \t]*\\)"
    bad = 0
  }
  FNR == 1 { depth = 0; ns = 0 }
  {
    line = $0
    gsub(/'\''([^'\''\\]|\\.)'\''/, "'\'''\''", line)
    gsub(/"([^"\\]|\\.)*"/, "\"\"", line)
    sub(/\/\/.*$/, "", line)
    hit = 0
    for (i = 1; i <= np && !hit; ++i) if (line ~ p[i]) hit = 1
    if (!hit && (FILENAME in inc))
      for (i = 1; i <= nv && !hit; ++i) if (line ~ v[i]) hit = 1
    # Switches on a code: a stack of the open switches, each with the depth
    # of braces it started at and whether its labels are codes.
    if (line ~ /(^|[^A-Za-z0-9_])switch[ \t]*\(/) {
      ++ns
      sdepth[ns] = depth
      sopen[ns] = 0
      scode[ns] = (line ~ codeswitch) || ((FILENAME in inc) && line ~ varswitch)
    }
    if (!hit && ns > 0 && scode[ns] && line ~ /(^|[^A-Za-z0-9_])case[ \t]+-?[0-9]+[ \t]*:/) hit = 1
    nopen = gsub(/\{/, "{", line)
    nclose = gsub(/\}/, "}", line)
    depth += nopen - nclose
    if (ns > 0 && depth > sdepth[ns]) sopen[ns] = 1
    while (ns > 0 && sopen[ns] && depth <= sdepth[ns]) --ns
    if (hit) {
      print FILENAME ":" FNR ": " $0
      bad = 1
    }
  }
  END { exit bad }
' $files
status=$?

if [ "$status" -ne 0 ]; then
  echo "Bare codes above: use the names of jobbase/tabnames.hpp (columns, matrix-table words," >&2
  echo "matrix types kType*, fit codes kFit*, group kinds kKind*)." >&2
fi
exit "$status"
