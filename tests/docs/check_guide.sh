#!/usr/bin/env bash
# Keeps the user's guide from going stale.
#
#   check_guide.sh <source-dir> <bin-dir>
#
# 1. Every script block of docs/*.md that is marked
#      <!-- example: examples/NAME.qv -->
#    (the marker line, then a fenced block) must be identical to that file,
#    and every examples/*.qv must be shown in the guide that way.
# 2. Every examples/*.qv runs through qvt, in a fresh copy of examples/,
#    with exit status 0 and nothing on standard error.
# 3. Every table marked
#      <!-- numbers: examples/NAME.qv -->
#    has rows | `LOCATOR` | printed | reference | source |: the number that
#    the report shows at LOCATOR must equal "printed", and "reference" must
#    agree with "printed" to its last decimal (within one unit of it).
#    LOCATOR is [job N: ]MATRIX X r c (element r, c of matrix X among the
#    estimates of job N, default 1) or [job N: ]TEXT[ #k] (the k-th number,
#    default the last, on the first line of job N that contains TEXT).
set -u
src=$(cd "$1" && pwd) || exit 2
bin=$(cd "$2" && pwd) || exit 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
bad() { echo "FAIL: $*"; fail=1; }

docs=("$src"/docs/*.md)

# 1. Script blocks identical to the example files.
for md in "${docs[@]}"; do
  while IFS= read -r name; do
    f="$src/$name"
    if [[ ! -f $f ]]; then bad "$(basename "$md"): $name does not exist"; continue; fi
    awk -v want="<!-- example: $name -->" '
      $0 == want { armed = 1; next }
      armed == 1 && /^```/ { armed = 2; next }
      armed == 2 && /^```/ { exit }
      armed == 2 { print }
    ' "$md" > "$work/block"
    cmp -s "$work/block" "$f" || { bad "$(basename "$md"): the block of $name differs from the file"; diff "$work/block" "$f" | head -5; }
  done < <(sed -n 's/^<!-- example: \(.*\) -->$/\1/p' "$md")
done
for f in "$src"/examples/*.qv; do
  name=examples/$(basename "$f")
  grep -qx "<!-- example: $name -->" "${docs[@]}" || bad "$name is not shown in the guide"
done

# 2. Every example runs.
for f in "$src"/examples/*.qv; do
  b=$(basename "$f" .qv)
  rm -rf "$work/run" && cp -r "$src/examples" "$work/run"
  (cd "$work/run" && "$bin/qvt" < "$b.qv" > "$work/$b.out" 2> "$work/$b.err")
  st=$?
  [[ $st -eq 0 ]] || bad "examples/$b.qv: exit status $st"
  [[ -s $work/$b.err ]] && { bad "examples/$b.qv: standard error not empty"; head -3 "$work/$b.err"; }
done

# 3. The numbers of the marked tables, all rows of all guides in one pass:
# the rows ("example<TAB>locator<TAB>printed<TAB>reference") first, then each
# report; a report's name line "@@ example" precedes it.
for md in "${docs[@]}"; do
  awk -F'|' '
    /^<!-- numbers: .* -->$/ { name = $0; sub(/^<!-- numbers: /, "", name); sub(/ -->$/, "", name); next }
    name != "" && /^\|/ {
      loc = $2
      if (!sub(/^ *`/, "", loc) || !sub(/` *$/, "", loc)) next   # the header and its rule
      p = $3; r = $4; gsub(/ /, "", p); gsub(/ /, "", r)
      print name "\t" loc "\t" p "\t" r; next
    }
    { name = "" }
  ' "$md"
done > "$work/rows"
for f in "$src"/examples/*.qv; do
  b=$(basename "$f" .qv)
  echo "@@ examples/$b.qv"
  cat "$work/$b.out"
done > "$work/reports"
awk -F'\t' '
  function bad(m) { print "FAIL: " m; failed = 1 }
  function isnum(t) { return t ~ /^-?[0-9]*\.?[0-9]+([EeDd][-+]?[0-9]+)?\.?$/ }
  BEGIN { sep = " "; for (i = 0; i < 78; i++) sep = sep "_" }
  FNR == NR { nrow++; ex[nrow] = $1; loc[nrow] = $2; pr[nrow] = $3; rf[nrow] = $4; next }
  /^@@ / { name = substr($0, 4); job = 1; est = 0; mat = ""; delete seen; next }
  $0 == sep { job++; est = 0; mat = ""; next }
  {
    if ($0 ~ /QV PARAMETER ESTIMATES/) est = 1
    if ($0 ~ /^ MATRIX [A-Z]$/) { mat = est ? substr($0, 9, 1) : ""; first = 0; next }
    if ($0 ~ /Your model has/ || $0 ~ /GROUP NUMBER/) mat = ""
    if (mat != "" && $0 ~ /^      +[0-9]/ && $0 !~ /[.]/) { first = $1 + 0; next }
    for (i = 1; i <= nrow; i++) {
      if (ex[i] != name || (i in got)) continue
      l = loc[i]; j = 1
      if (match(l, /^job [0-9]+: /)) { j = substr(l, 5, RLENGTH - 6) + 0; l = substr(l, RLENGTH + 1) }
      if (j != job) continue
      if (l ~ /^MATRIX [A-Z] [0-9]+ [0-9]+$/) {
        split(l, w, " ")
        if (mat != w[2] || !first || $1 != w[3]) continue
        k = w[4] - first + 2
        if (k >= 2 && k <= NF) got[i] = $k
        continue
      }
      k = 0
      if (match(l, / #[0-9]+$/)) { k = substr(l, RSTART + 2) + 0; l = substr(l, 1, RSTART - 1) }
      if (!index($0, l)) continue
      m = 0
      for (t = 1; t <= NF; t++) if (isnum($t)) v[++m] = $t
      if (m == 0) continue
      x = v[k ? k : m]; sub(/\.$/, "", x); got[i] = x
    }
  }
  END {
    for (i = 1; i <= nrow; i++) {
      what = ex[i] ": \047" loc[i] "\047"
      if (!(i in got)) { bad(what ": nothing found in the report"); continue }
      g = got[i]; gsub(/[dD]/, "E", g); p = pr[i]; r = rf[i]
      d = 0; if (match(p, /\.[0-9]+/)) d = RLENGTH - 1
      ulp = 10 ^ -d * 1.0000001
      if (g + 0 != p + 0) bad(what " is " got[i] " in the report, " p " in the guide")
      else if (r - p > ulp || p - r > ulp) bad(what ": reference " r " is not " p " to its last decimal")
    }
    if (nrow == 0) bad("no numbers found in the guide")
    exit failed
  }
' "$work/rows" FS=' ' "$work/reports" || fail=1

[[ $fail -eq 0 ]] && echo "guide and examples: OK"
exit $fail
