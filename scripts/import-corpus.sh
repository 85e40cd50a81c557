#!/bin/sh
# Imports every main document of the UBL set (root = the document's name) and
# every ISO 20022 message (root Document), each into a fresh repository, and
# prints one outcome line per file: the return code and, for a failure, the
# first error message the import printed.
#
# Usage: scripts/import-corpus.sh [build-dir] [corpus-dir] [pattern]
# With a pattern only the files whose path (as printed) contains it are imported.
set -u
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
corpus=$(cd "${2:-$build/corpus}" && pwd)
pattern=${3:-}
xsdimport=$build/bin/xsdimport
work=$(mktemp -d "${TMPDIR:-/tmp}/kova-corpus-XXXXXX")
trap 'rm -rf "$work"' EXIT

# The UBL common modules import each other by bare file name.
locations=$work/locations
: >"$locations"
for f in "$corpus"/ubl-2.5/common/*.xsd; do
  printf '%s %s\n' "$(basename "$f")" "$f" >>"$locations"
done

total=0
failed=0
# import <directory> <file> <root> <label> [with-locations]
import() {
  dir=$1 file=$2 root=$3 label=$4
  case $label in *"$pattern"*) ;; *) return ;; esac
  rm -f "$work/repository.db"
  {
    printf 'QEL_DB=%s\nDB_USER=kova\nDB_PW=kova\nMESSAGESET=CORPUS\nROOTELEMENT=%s\n' \
      "$work/repository.db" "$root"
    # No [NAMESPACEPREFIX] line: the program finds the prefixes itself.
    printf '[FILELIST]\n%s\n' "$file"
    if [ $# -ge 5 ]; then
      printf '[FILELOCATION]\n'
      cat "$locations"
    fi
  } >"$work/import.parms"
  start=$(date +%s.%N)
  (cd "$dir" && "$xsdimport" -f "$work/import.parms" >"$work/import.log" 2>&1)
  rc=$?
  end=$(date +%s.%N)
  secs=$(echo "$end - $start" | bc)
  total=$((total + 1))
  if [ $rc -eq 0 ]; then
    types=$(sed -n 's/^M_TYPE *- //p' "$work/import.log")
    elements=$(sed -n 's/^M_ELEMENT *- //p' "$work/import.log")
    printf 'ok    rc=%-4s %-70s types=%s elements=%s %.2fs\n' "$rc" "$label" "$types" "$elements" "$secs"
  else
    failed=$((failed + 1))
    why=$(grep -m1 -E 'KOVA[0-9]+E|\*\*\*\*\*Error' "$work/import.log" | cut -c1-160)
    printf 'FAIL  rc=%-4s %-70s %s\n' "$rc" "$label" "$why"
  fi
}

for f in "$corpus"/ubl-2.5/maindoc/UBL-*-2.5.xsd; do
  name=$(basename "$f")
  root=${name#UBL-}
  root=${root%-2.5.xsd}
  import "$corpus/ubl-2.5/maindoc" "$name" "$root" "ubl-2.5/maindoc/$name" locations
done
for f in "$corpus"/iso20022/*/*.xsd; do
  import "$(dirname "$f")" "$(basename "$f")" Document "iso20022/${f#"$corpus"/iso20022/}"
done
echo "$total files, $((total - failed)) imported, $failed failed"
