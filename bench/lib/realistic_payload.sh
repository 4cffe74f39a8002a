#!/usr/bin/env bash
# Writes a payload that looks like what packagers ship: Windows DLLs (the PE
# files of the Wine packages) and text (C headers and package documentation),
# about MEGABYTES in all, three quarters DLLs. The files are taken in name
# order, so the same machine gives the same payload every time.
#   bench/lib/realistic_payload.sh DIR MEGABYTES
set -euo pipefail
# Name order as bytes: under the Wine benchmarks' Slovak locale sort and
# the case folding chose other files (3,679 instead of 3,770).
export LC_ALL=C
dir=$1
budget=$(( ${2:-160} * 1024 * 1024 ))
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
[ -d "$dlls" ] || { echo "realistic_payload: $dlls is missing (Debian package wine64)" >&2; exit 1; }
mkdir -p "$dir/bin" "$dir/doc"

# copy_until LIMIT DEST: reads "SIZE PATH" records (NUL-separated) and copies
# the files, their paths kept below DEST, while they fit in LIMIT bytes;
# prints the number of bytes copied. Of paths that differ only in case
# (the same file on Windows) the first is taken.
copy_until() {
  local limit=$1 dest=$2 total=0 record size file
  local -a chosen=()
  local -A taken=()
  while IFS= read -r -d '' record; do
    size=${record%% *} file=${record#* }
    (( total + size > limit )) && continue
    [ -n "${taken[${file,,}]:-}" ] && continue
    taken[${file,,}]=1
    chosen+=("$file")
    total=$(( total + size ))
  done
  printf '%s\0' "${chosen[@]}" | xargs -0 cp --parents -t "$dest"
  echo "$total"
}

binary=$(find "$dlls" -maxdepth 1 -type f \( -name '*.dll' -o -name '*.exe' \) -size -8M -printf '%s %p\0' |
  sort -z -k2 | copy_until $(( budget * 3 / 4 )) "$dir/bin")
text=$(find /usr/include /usr/share/doc -type f \( -name '*.h' -o -name 'copyright' -o -name '*.txt' \) \
  -printf '%s %p\0' | sort -z -k2 | copy_until $(( budget - binary )) "$dir/doc")
echo "realistic payload: $(find "$dir" -type f | wc -l) files, $binary bytes of DLLs, $text bytes of text" >&2
