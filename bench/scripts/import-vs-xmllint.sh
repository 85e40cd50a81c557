#!/usr/bin/env bash
# Whole import (parse, model, write, commit into a new repository file) against
# `xmllint --noout --schema` compiling the same schema, in CPU time (user +
# sys) and peak memory.  The two commands run alternately, so that both see
# the same load on a shared machine; the figures are medians over the rounds,
# and the ratios are what to read, not the absolute times.
#
# Usage: bench/scripts/import-vs-xmllint.sh [build-dir] [rounds]
# Cases: UBL-Invoice, three ISO 20022 messages, generated schemas of 1,000 and
# 10,000 record types (the last line gives the growth per tenfold size).
set -euo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(cd "${1:-$top/build}" && pwd)"
rounds="${2:-9}"
xsdimport="$build/bin/xsdimport"
generate="$build/bin/import_bench"
corpus="$build/corpus"
work="$(mktemp -d "${TMPDIR:-/tmp}/kova-xmllint-bench-XXXXXX")"
trap 'rm -rf "$work"' EXIT

for tool in "$xsdimport" "$generate" /usr/bin/xmllint /usr/bin/python3; do
  [ -x "$tool" ] || { echo "missing $tool (build in Release; apt-get install libxml2-utils python3)" >&2; exit 1; }
done

# measure <log> <command...>: prints "cpu-seconds peak-kib exit-status".  The
# child's own rusage, to the microsecond (GNU time rounds to 10 ms, too coarse
# for the small schemas).
measure() {
  local log=$1; shift
  /usr/bin/python3 -c '
import os, subprocess, sys
with open(sys.argv[1], "wb") as log:
    child = subprocess.Popen(sys.argv[2:], stdout=log, stderr=subprocess.STDOUT)
    _, status, usage = os.wait4(child.pid, 0)
code = os.waitstatus_to_exitcode(status)
print("%.6f %d %d" % (usage.ru_utime + usage.ru_stime, usage.ru_maxrss, code if code >= 0 else 128 - code))
' "$log" "$@"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# bench <label> <dir> <schema> <root> <instance-namespace>
declare -A cpu_of
bench() {
  local label=$1 dir=$2 schema=$3 root=$4 ns=$5
  printf 'QEL_DB=%s\nMESSAGESET=BENCH\nROOTELEMENT=%s\n[FILELIST]\n%s\n' \
    "$work/repository.kovadb" "$root" "$schema" >"$work/import.parms"
  if [ -n "$ns" ]; then
    printf '<%s xmlns="%s"/>\n' "$root" "$ns" >"$work/instance.xml"
  else
    printf '<%s/>\n' "$root" >"$work/instance.xml"
  fi
  : >"$work/ours" ; : >"$work/lint"
  for ((i = 0; i < rounds; i++)); do
    rm -f "$work/repository.kovadb" "$work/repository.kovadb-journal"
    read -r c m s < <(cd "$dir" && measure "$work/import.log" "$xsdimport" -f "$work/import.parms")
    if [ "$s" != 0 ]; then
      echo "$label: the import failed with status $s:" >&2
      grep -m3 'KOVA[0-9]*E' "$work/import.log" >&2 || tail -3 "$work/import.log" >&2
      return 1
    fi
    echo "$c $m" >>"$work/ours"
    # --nonet: the import never fetches a schema either.  Status 3 is the
    # expected refusal of the empty instance; anything else means that the
    # schema did not compile and the figure would be meaningless.
    read -r c m s < <(cd "$dir" && measure "$work/lint.log" /usr/bin/xmllint --noout --nonet --schema "$schema" "$work/instance.xml")
    if [ "$s" != 0 ] && [ "$s" != 3 ]; then
      echo "$label: xmllint failed with status $s:" >&2
      head -3 "$work/lint.log" >&2
      return 1
    fi
    echo "$c $m" >>"$work/lint"
  done
  local oc om lc lm
  oc=$(cut -d' ' -f1 "$work/ours" | median); om=$(cut -d' ' -f2 "$work/ours" | median)
  lc=$(cut -d' ' -f1 "$work/lint" | median); lm=$(cut -d' ' -f2 "$work/lint" | median)
  cpu_of[$label]=$oc
  awk -v l="$label" -v oc="$oc" -v om="$om" -v lc="$lc" -v lm="$lm" 'BEGIN {
    printf "%-22s import %8.4f s %6.1f MiB   xmllint %8.4f s %6.1f MiB   CPU ratio %5.2f   memory ratio %5.2f\n",
      l, oc, om / 1024, lc, lm / 1024, (lc > 0 ? oc / lc : 0), (lm > 0 ? om / lm : 0) }'
}

echo "medians of $rounds alternating rounds; CPU = user + sys; load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
bench "UBL-Invoice" "$corpus/ubl-2.5/maindoc" UBL-Invoice-2.5.xsd Invoice \
  urn:oasis:names:specification:ubl:schema:xsd:Invoice-2
for f in payments_initiation_11/pain.001.001.10_1.xsd \
         payments_clearing_and_settlement_10/pacs.008.001.09.xsd \
         banktocustomer_cash_management_8/camt.053.001.08.xsd; do
  ns=$(grep -o 'targetNamespace="[^"]*"' "$corpus/iso20022/$f" | head -1 | sed 's/.*="\(.*\)"/\1/')
  bench "$(basename "$f" .xsd)" "$corpus/iso20022/$(dirname "$f")" "$(basename "$f")" Document "$ns"
done
for n in 1000 10000; do
  "$generate" --generate "$n" "$work/generated-$n.xsd"
  bench "generated, $n types" "$work" "generated-$n.xsd" Root urn:bench
done
awk -v a="${cpu_of[generated, 1000 types]}" -v b="${cpu_of[generated, 10000 types]}" \
  'BEGIN { printf "growth of the import per tenfold size (10,000 / 1,000 types): %.2f\n", b / a }'
echo "load average at end: $(cut -d' ' -f1-3 /proc/loadavg)"
