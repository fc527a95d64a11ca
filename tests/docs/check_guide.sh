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

# 3. The numbers of the marked tables.
# value OUT LOCATOR: prints the number the report shows there (nothing if none).
value() {
  awk -v loc="$2" '
    BEGIN {
      job = 1
      if (match(loc, /^job [0-9]+: /)) { job = substr(loc, 5, RLENGTH - 6) + 0; loc = substr(loc, RLENGTH + 1) }
      if (loc ~ /^MATRIX [A-Z] [0-9]+ [0-9]+$/) {
        split(loc, w, " "); mode = "m"; want = " MATRIX " w[2]; r = w[3] + 0; c = w[4] + 0
      } else {
        mode = "t"; k = 0
        if (match(loc, / #[0-9]+$/)) { k = substr(loc, RSTART + 2) + 0; loc = substr(loc, 1, RSTART - 1) }
      }
      n = 1
    }
    /^ _{78}$/ { n++; next }
    n != job { next }
    mode == "t" && index($0, loc) {
      m = 0
      for (i = 1; i <= NF; i++) if ($i ~ /^-?[0-9]*\.?[0-9]+([EeDd][-+]?[0-9]+)?\.?$/) v[++m] = $i
      if (m > 0) { sub(/\.$/, "", v[k ? k : m]); print v[k ? k : m] }
      exit
    }
    mode == "m" && /QV PARAMETER ESTIMATES/ { est = 1 }
    mode == "m" && est && $0 == want { inmat = 1; next }
    mode == "m" && inmat {
      if (/^ MATRIX / || /Your model has/ || /GROUP NUMBER/) exit
      if ($0 ~ /^      +[0-9]/ && $0 !~ /[.]/) { first = $1 + 0; next }
      if ($1 == r "" && first) {
        i = c - first + 2
        if (i >= 2 && i <= NF) { print $i; exit }
      }
    }
  ' "$1"
}
for md in "${docs[@]}"; do
  awk '
    /^<!-- numbers: .* -->$/ { name = $3; next }
    name != "" && /^\|/ { print name "\t" $0; next }
    { name = "" }
  ' "$md" > "$work/rows"
  while IFS=$'\t' read -r name row; do
    IFS='|' read -r _ c1 c2 c3 _ <<< "$row"
    loc=$(sed -n 's/^ *`\(.*\)` *$/\1/p' <<< "$c1")
    [[ -z $loc ]] && continue                  # the header and its rule
    printed=$(tr -d ' ' <<< "$c2"); ref=$(tr -d ' ' <<< "$c3")
    b=$(basename "$name" .qv)
    [[ -f $work/$b.out ]] || { bad "$name: no such example run"; continue; }
    got=$(value "$work/$b.out" "$loc")
    if [[ -z $got ]]; then bad "$name: nothing found at '$loc'"; continue; fi
    awk -v g="$got" -v p="$printed" -v r="$ref" 'BEGIN {
      gsub(/[dD]/, "E", g)
      d = 0; if (match(p, /\.[0-9]+/)) d = RLENGTH - 1
      ulp = 10 ^ -d
      if (g + 0 != p + 0) exit 1
      if ((r - p) > ulp * 1.0000001 || (p - r) > ulp * 1.0000001) exit 2
      exit 0 }'
    case $? in
      0) ;;
      1) bad "$name: '$loc' is $got in the report, $printed in the guide" ;;
      *) bad "$name: '$loc': reference $ref is not $printed to its last decimal" ;;
    esac
  done < "$work/rows"
done

[[ $fail -eq 0 ]] && echo "guide and examples: OK"
exit $fail
