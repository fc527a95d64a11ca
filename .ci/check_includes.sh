#!/usr/bin/env bash
# Fails when a source file includes a header of this project that its
# folder's README does not allow, or when the folders include each other in
# a cycle.
#
# Each source folder's README.md holds the rule as lines of the form
#   Includes: runtime/ numlib/ optkern/kernels
#   Includes (stem stem ...): runtime/ jobbase/areas
# The first line applies to every file of the folder, which may also include
# its own folder's headers.  The second applies instead to the files whose
# names (without extension) are listed; they may include only what it names.
# An item ending in "/" allows every header of that folder; "folder/name"
# allows folder/name.hpp alone.  "Includes: -" allows no other folder.
#
# The source folders are the top-level folders that hold .cpp or .hpp files
# (tests/, tools/ and build folders aside), so a new folder is checked as
# soon as it has a source.  From the includes themselves the check draws the
# folder graph (folder A -> folder B when a file of A includes a header of
# B) and fails on any cycle, naming it: the libraries must depend one way,
# from runtime/ up to apps/.
set -eu
cd "$(dirname "$0")/.."

dirs=()
for d in */; do
  d=${d%/}
  case $d in tests | tools | examples | build*) continue ;; esac
  compgen -G "$d/*.cpp" > /dev/null || compgen -G "$d/*.hpp" > /dev/null || continue
  dirs+=("$d")
done

status=0
edges=""
for dir in "${dirs[@]}"; do
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
      [ "$folder" = "$dir" ] || edges+="$dir $folder"$'\n'
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

# A depth-first walk of the folder graph; an edge back to a folder still on
# the walk's path closes a cycle, which is printed as a -> b -> ... -> a.
cycles=$(printf '%s' "$edges" | sort -u | awk '
  NF == 2 { n[$1]++; to[$1, n[$1]] = $2; node[$1]; node[$2] }
  function walk(v,    i, w, k, path) {
    state[v] = 1; stack[++depth] = v
    for (i = 1; i <= n[v]; i++) {
      w = to[v, i]
      if (state[w] == 1) {
        path = ""
        for (k = 1; k <= depth; k++) if (stack[k] == w) break
        for (; k <= depth; k++) path = path stack[k] " -> "
        print path w
      } else if (state[w] == 0) {
        walk(w)
      }
    }
    depth--; state[v] = 2
  }
  END {
    for (v in node) state[v] = 0
    for (v in node) if (state[v] == 0) walk(v)
  }')
if [ -n "$cycles" ]; then
  while IFS= read -r c; do
    echo "include cycle between folders: $c" >&2
  done <<< "$cycles"
  status=1
fi

[ $status -eq 0 ] && echo "include check: every include is allowed; the folders include each other in no cycle"
exit $status
