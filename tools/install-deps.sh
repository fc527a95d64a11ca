#!/usr/bin/env bash
# Installs the Debian packages the build needs, skipping those already there.
# Extra package names given as arguments are installed too (make compare
# passes libnlopt-dev).  gfortran is there for its libgfortran.a, which the
# static link of qvt, qvh and qvrun needs with liblapack.a and libblas.a (no
# Fortran is compiled); without it they are linked dynamically.
set -eu
pkgs="cmake g++ make libblas-dev liblapack-dev gfortran libgtest-dev libbenchmark-dev $*"
missing=""
for p in $pkgs; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
elif command -v sudo >/dev/null 2>&1; then
  sudo apt-get update -qq
  sudo DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
else
  echo "Missing packages:$missing (install them as root)" >&2
  exit 1
fi
