#!/usr/bin/env bash
# Fails unless every program given holds the edition's driver E04UCF and its
# option routine E04UEF.  Usage: linked.sh NM PROGRAM...
set -eu
nm=$1
shift
for prog in "$@"; do
  syms=$("$nm" -C "$prog")
  for name in 'qv::optim_alt::E04UCF(' 'qv::optim_alt::E04UEF(' qv_optim_alt_entries; do
    if ! grep -qF "$name" <<< "$syms"; then
      echo "$prog: no symbol $name" >&2
      exit 1
    fi
  done
done
