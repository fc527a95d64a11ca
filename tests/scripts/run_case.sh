#!/usr/bin/env bash
# Runs one whole-script case through qvt or qvh in a fresh temporary directory
# and compares standard output, standard error and the exit status with the
# case's golden files.
#
#   run_case.sh <case-dir> <bin-dir> [--refresh]
#
# A case directory holds job.qv (the script, read on standard input), prog (a
# file containing "qvt" or "qvh"), any fixture files the script reads, and the
# goldens expected.out, expected.err and expected.status.  The elapsed times of
# the timing table vary from run to run and are masked before comparing.
set -u
case_dir=$(cd "$1" && pwd)
bin_dir=$(cd "$2" && pwd)
mode=${3:-}
name=$(basename "$case_dir")
prog=$(tr -d ' \n' < "$case_dir/prog")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Copy fixtures (everything but the goldens) into the working directory.
for f in "$case_dir"/*; do
  b=$(basename "$f")
  case $b in expected.out|expected.err|expected.status|prog) ;; *) cp -r "$f" "$work/" ;; esac
done

cd "$work"
"$bin_dir/$prog" < job.qv > actual.out 2> actual.err
echo $? > actual.status

mask() {
  sed -E 's/^( (Reading script & data|Execution|TOTAL) +).{15}$/\1<elapsed time>/' "$1"
}
mask actual.out > actual.masked

if [ "$mode" = "--refresh" ]; then
  cp actual.masked "$case_dir/expected.out"
  cp actual.err "$case_dir/expected.err"
  cp actual.status "$case_dir/expected.status"
  echo "refreshed $name"
  exit 0
fi

status=0
for part in out err status; do
  want="$case_dir/expected.$part"
  got=actual.$part
  [ "$part" = out ] && got=actual.masked
  if [ ! -f "$want" ]; then
    echo "$name: missing golden expected.$part (create it with tests/scripts/refresh.sh $name)"
    status=1
  elif ! diff -u --label "expected.$part" --label "actual.$part" "$want" "$got"; then
    echo "$name: $part differs from its golden"
    status=1
  fi
done
exit $status
