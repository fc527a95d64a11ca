#!/usr/bin/env bash
# Runs one whole-script case through qvt or qvh in a fresh temporary directory
# and compares standard output, standard error and the exit status with the
# case's golden files.
#
#   run_case.sh <case-dir> <bin-dir> [--refresh]
#
# A case directory holds job.qv (the script, read on standard input), prog (a
# file containing "qvt" or "qvh"), any fixture files the script reads, and the
# goldens expected.out, expected.err and expected.status.  A case that also
# has expected.files checks the list of files the run left behind; each of
# those files that is a regular file has its expected copy in the case's
# directory expected.left/ and its contents are compared with it.  The
# elapsed times of the timing table vary from run to run and are masked
# before comparing.  A script that starts the front-end mode ("!@FRONT" on
# its first line) also has the machine-readable frames of its output
# checked (check_frames.sh).
set -u
here=$(cd "$(dirname "$0")" && pwd)
case_dir=$(cd "$1" && pwd) || exit 2
bin_dir=$(cd "$2" && pwd) || exit 2
mode=${3:-}
name=$(basename "$case_dir")
prog=$(tr -d ' \n' < "$case_dir/prog")
top=$(mktemp -d)
trap 'rm -rf "$top"' EXIT
work="$top/run"
mkdir "$work"

# Copy fixtures (everything but the goldens) into the working directory.
for f in "$case_dir"/*; do
  b=$(basename "$f")
  case $b in expected.*|prog) ;; *) cp -r "$f" "$work/" ;; esac
done

cd "$work"
ls -A | sort > "$top/before"
"$bin_dir/$prog" < job.qv > "$top/actual.out" 2> "$top/actual.err"
echo $? > "$top/actual.status"
ls -A | sort | comm -13 "$top/before" - > "$top/actual.files"

sed -E 's/^( (Reading script & data|Execution|TOTAL) +).{15}$/\1<elapsed time>/' \
  "$top/actual.out" > "$top/actual.masked"

if [ "$mode" = "--refresh" ]; then
  cp "$top/actual.masked" "$case_dir/expected.out"
  cp "$top/actual.err" "$case_dir/expected.err"
  cp "$top/actual.status" "$case_dir/expected.status"
  if [ -f "$case_dir/expected.files" ]; then
    cp "$top/actual.files" "$case_dir/expected.files"
    rm -rf "$case_dir/expected.left"
    while IFS= read -r f; do
      if [ -f "$work/$f" ]; then
        mkdir -p "$case_dir/expected.left"
        cp "$work/$f" "$case_dir/expected.left/"
      fi
    done < "$top/actual.files"
  fi
  echo "refreshed $name"
  exit 0
fi

frames_ok=1
if head -n 1 "$case_dir/job.qv" | grep -qi '^!@front'; then
  if ! "$here/check_frames.sh" "$top/actual.out"; then
    echo "$name: the machine-readable frames of its output are malformed"
    frames_ok=0
  fi
fi

parts="out err status"
if [ -f "$case_dir/expected.files" ]; then parts="$parts files"; fi
status=0
for part in $parts; do
  want="$case_dir/expected.$part"
  got="$top/actual.$part"
  [ "$part" = out ] && got="$top/actual.masked"
  if [ ! -f "$want" ]; then
    echo "$name: missing golden expected.$part (create it with tests/scripts/refresh.sh $name)"
    status=1
  elif ! diff -u --label "expected.$part" --label "actual.$part" "$want" "$got"; then
    echo "$name: $part differs from its golden"
    status=1
  fi
done
if [ -f "$case_dir/expected.files" ]; then
  while IFS= read -r f; do
    [ -f "$work/$f" ] || continue
    want="$case_dir/expected.left/$f"
    if [ ! -f "$want" ]; then
      echo "$name: missing expected copy expected.left/$f of a file the run left"
      status=1
    elif ! diff -u --label "expected.left/$f" --label "actual $f" "$want" "$work/$f"; then
      echo "$name: the file $f it left differs from its expected copy"
      status=1
    fi
  done < "$top/actual.files"
fi
[ $frames_ok = 1 ] || status=1
exit $status
