#!/usr/bin/env bash
# Checks that a Windows DLL exports exactly the calls its header marks with its
# export macro, no more and no less, as the shared object does on Linux.
#   dll_exports.sh OBJDUMP DLL HEADER MACRO
set -u
objdump=$1 dll=$2 header=$3 macro=$4
exported=$("$objdump" -p "$dll" |
  awk '/\[Ordinal\/Name Pointer\] Table/ {on = 1; next} on && NF == 0 {exit} on {print $NF}' | sort)
# A declaration begins a line with the macro; its name comes before the first
# parenthesis, on that line or the next.
declared=$(awk -v macro="$macro" '
  index($0, macro " ") == 1 {text = $0; if (index(text, "(") == 0) {getline more; text = text " " more}
                              sub(/\(.*/, "", text); n = split(text, words, " "); print words[n]}' \
  "$header" | sort)
[ -n "$declared" ] || { echo "no $macro declarations in $header"; exit 1; }
diff <(echo "$declared") <(echo "$exported") >/dev/null && exit 0
echo "$dll: exports differ from the $macro declarations of $header (< declared only, > exported only):"
diff <(echo "$declared") <(echo "$exported")
exit 1
