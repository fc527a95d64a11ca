#!/usr/bin/env bash
# Runs the scripts of two whole-script cases back to back, as one script
# through qvt, and compares the report with the two cases' goldens: a job's
# report must be the same whether it runs alone or after other jobs.
#
#   run_pair.sh <first-case-dir> <second-case-dir> <bin-dir>
#
# Both cases are qvt cases whose scripts end normally.  The expected report
# is the first case's golden without its end-of-input rule, followed by the
# second case's golden without its start-up lines.  The elapsed times and
# the run's running total of warnings (which counts the first script's too)
# are masked on both sides.
set -u
first=$(cd "$1" && pwd)
second=$(cd "$2" && pwd)
bin_dir=$(cd "$3" && pwd)
name="$(basename "$first") then $(basename "$second")"
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/run"
mkdir "$work"

for c in "$first" "$second"; do
  if [ "$(tr -d ' \n' < "$c/prog")" != qvt ] || [ "$(cat "$c/expected.status")" != 0 ] || [ -s "$c/expected.err" ]; then
    echo "$name: $(basename "$c") is not a qvt case that ends normally"
    exit 1
  fi
  # Fixtures (everything but the goldens and the script).
  for f in "$c"/*; do
    b=$(basename "$f")
    case $b in expected.*|prog|job.qv) ;; *) cp -r "$f" "$work/" ;; esac
  done
done
cat "$first/job.qv" "$second/job.qv" > "$work/job.qv"

# The goldens hold the elapsed times masked already.
mask_count() { sed -E 's/^( Total number of warnings issued:).*$/\1 <count>/' "$1"; }
mask_times() { sed -E 's/^( (Reading script & data|Execution|TOTAL) +).{15}$/\1<elapsed time>/' "$1"; }

# The start-up lines: a blank line, the banner, a blank line, the version.
startup=4
rule=" $(printf '_%.0s' $(seq 78))"
if [ "$(tail -n 1 "$first/expected.out")" != "$rule" ] || \
   [ "$(sed -n 2p "$second/expected.out")" != " ** Qv startup successful **" ]; then
  echo "$name: unexpected shape of the goldens"
  exit 1
fi
{ head -n -1 "$first/expected.out"; tail -n +$((startup + 1)) "$second/expected.out"; } > "$top/expected.out"
mask_count "$top/expected.out" > "$top/expected.masked"

cd "$work"
"$bin_dir/qvt" < job.qv > "$top/actual.out" 2> "$top/actual.err"
status=$?
mask_times "$top/actual.out" > "$top/actual.times"
mask_count "$top/actual.times" > "$top/actual.masked"

result=0
if [ "$status" != 0 ] || [ -s "$top/actual.err" ]; then
  echo "$name: exit status $status"
  cat "$top/actual.err"
  result=1
fi
if ! diff -u --label "expected (the goldens)" --label "actual (one script)" "$top/expected.masked" "$top/actual.masked"; then
  echo "$name: the report of the two scripts run together differs from their goldens"
  result=1
fi
exit $result
