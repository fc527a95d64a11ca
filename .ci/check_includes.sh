#!/usr/bin/env bash
# Fails when a source file includes a header of this project that its
# folder's README does not allow.
#
# Each source folder's README.md holds the rule as lines of the form
#   Includes: runtime/ numlib/ optkern/kernels
#   Includes (stem stem ...): runtime/ jobbase/areas
# The first line applies to every file of the folder, which may also include
# its own folder's headers.  The second applies instead to the files whose
# names (without extension) are listed; they may include only what it names.
# An item ending in "/" allows every header of that folder; "folder/name"
# allows folder/name.hpp alone.
set -eu
cd "$(dirname "$0")/.."

status=0
for dir in runtime optkern optim numlib report jobctl algebra fit apps launcher optim_alt; do
  [ -d "$dir" ] || continue
  readme="$dir/README.md"
  general=$(sed -n 's/^Includes: //p' "$readme" 2>/dev/null || true)
  if [ -z "$general" ]; then
    echo "$readme: no 'Includes:' line" >&2
    status=1
    continue
  fi
  for file in "$dir"/*.cpp "$dir"/*.hpp; do
    [ -e "$file" ] || continue
    stem=$(basename "$file")
    stem=${stem%.*}
    allowed="$dir/ $general"
    while IFS= read -r line; do
      stems=${line%%)*}
      stems=${stems#Includes (}
      for s in $stems; do
        if [ "$s" = "$stem" ]; then allowed=${line#*): }; fi
      done
    done < <(grep '^Includes (' "$readme" || true)
    while IFS= read -r header; do
      folder=${header%%/*}
      [ -d "$folder" ] || continue  # not a folder of this project
      ok=0
      for item in $allowed; do
        case $item in
          */) [ "$folder/" = "$item" ] && ok=1 ;;
          *) [ "$header" = "$item.hpp" ] && ok=1 ;;
        esac
      done
      if [ $ok -eq 0 ]; then
        echo "$file includes $header, which $readme does not allow" >&2
        status=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\/[^"]*\)".*/\1/p' "$file")
  done
done
[ $status -eq 0 ] && echo "include check: every include is allowed"
exit $status
