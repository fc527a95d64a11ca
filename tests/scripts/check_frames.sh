#!/usr/bin/env bash
# Checks the machine-readable parts of a front-end run's standard output:
# between "!@machine;" and "!@human;" every line belongs to a record the
# front end knows, every record ends with ";", every value line holds one
# item, and every chunk of a matrix record holds the count its header gives
# (at most 100).  Human text inside a machine frame, a record cut short or a
# chunk of the wrong length is reported with its line number.  The output
# may end in machine mode only on its last line (the closing token of the
# run).
#
#   check_frames.sh <file>
set -u
awk '
function fail(msg) { printf("line %d: %s: [%s]\n", NR, msg, $0); bad = 1 }
function one_item(s) { return s ~ /^ [^ ]+$/ }
function is_int(s) { return s ~ /^ -?[0-9]+$/ }
function quoted(s) { return s ~ /^"[^"]*"$/ }
# Expect the next n lines as integers (kind "i"), names ("q") or single items ("v").
function expect(kinds) { want = kinds; wpos = 1 }
BEGIN { skip = 0; machine = 0; want = ""; rec = ""; nvals = -1; bad = 0; lastmac = 0 }
{
  line = $0
  if (line == "!@machine;") { if (want != "" || nvals >= 0) fail("record cut short"); machine = 1; lastmac = NR; want = ""; nvals = -1; rec = ""; next }
  if (line == "!@human;") { if (!skip && (want != "" || nvals >= 0 || rec != "")) fail("record cut short"); machine = 0; skip = 0; rec = ""; next }
  if (!machine) next
  if (skip) next
  # Inside a record.
  if (want != "") {
    k = substr(want, wpos, 1)
    if (k == "i" && !is_int(line)) fail("integer expected")
    if (k == "q" && !quoted(line)) fail("quoted name expected")
    if (k == "v" && !one_item(line)) fail("one item expected")
    if (k == "t" && line !~ /^".*";$/) fail("quoted text with ; expected")
    if (k == "s" && line != " ;") fail("; expected")
    if (k == "e" && line != "") fail("empty line expected")
    if (k == "n" && line !~ /^ ".*"$/) fail("quoted file name expected")
    if (rec == "matrix" && wpos == 7) { chunk = substr(line, 2) + 0; if (chunk > 100) fail("chunk over 100") }
    wpos++
    if (wpos > length(want)) {
      want = ""
      if (rec == "matrix") { nvals = chunk }
      else if (rec == "label") { nvals = -2 }
      else rec = ""
    }
    next
  }
  if (nvals > 0) { if (!one_item(line)) fail("one value per line expected"); nvals--; next }
  if (nvals == 0) { if (line != " ;") fail("chunk longer than its count"); nvals = -1; rec = ""; next }
  if (nvals == -2) { if (line == " ;") { nvals = -1; rec = "" } else if (!quoted(line)) fail("quoted label expected"); next }
  # A record begins.
  if (line ~ /^ (SPECS|VALUE|GROUP_FIT|GLOBAL_FIT)$/) { rec = "matrix"; expect("iqiiiii"); next }
  if (line == " CONFIDENCE") { rec = "ci"; expect("iqiivvvvvvvs"); next }
  if (line == " LABEL") { rec = "label"; expect("viq"); next }
  if (line == " GROUP_TYPE") { rec = "gt"; expect("iis"); next }
  if (line == " TITLE") { rec = "title"; expect("it"); next }
  if (line == " SAMPLE") { rec = "sample"; expect("iiis"); next }
  if (line == " FORMULA") { rec = "formula"; expect("iiqt"); next }
  if (line == " OPTIONS") { rec = "options"; expect("iiiis"); next }
  if (line == " GLOBAL_OPTIONS") { rec = "glob"; expect("vvvvvvvvvvvvvvvvvvvvvvvvnes"); next }
  if (line ~ /^ LINK /) next
  # An error report of the front-end protocol runs to the end of its frame.
  if (line == " !@error") { rec = "error"; skip = 1; next }
  if (line ~ /^ !@(ready;|NEWJOB|SUBJOB|pong;|END;)$/ || line ~ /^[01]$/) next
  fail("human text in a machine frame")
}
END {
  if (want != "" || nvals >= 0) { NR = NR; fail("output ends inside a record") }
  if (machine && lastmac != NR) { printf("output ends in machine mode after line %d\n", lastmac); bad = 1 }
  exit bad
}' "$1"
