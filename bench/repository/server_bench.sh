#!/usr/bin/env bash
# server_bench.sh: a repository on a PostgreSQL server against one in a file.
#
#  1. UBL-Invoice imported into a file and into the server, best of three:
#     wall and CPU time of the importer, and their ratios (server / file);
#     with a cluster of its own also the server's CPU time (its backends'
#     time as the postmaster collects it), and the same for an import that
#     resets the set first (-c).
#  2. Four importers into four message sets of one server repository at
#     once, against the same four one after another (wall time).
#  3. An import into the server killed (SIGKILL) at 50 random moments; after
#     each kill the repository's data must equal what it held before.
#
# Usage: bench/repository/server_bench.sh [build-dir] [server-url]
# Without a URL a throwaway cluster is started (scripts/pg-test-cluster.sh)
# and stopped at the end.  KILLS=n changes the number of kills.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
url=${2:-}
kills=${KILLS:-50}
xsdimport=$build/bin/xsdimport
corpus=$build/corpus
work=$(mktemp -d "${TMPDIR:-/tmp}/kova-server-bench-XXXXXX")
cluster=""
cleanup() {
  if [ -z "$cluster" ] && [ -n "${schema:-}" ]; then
    psql -q "$url" -c "DROP SCHEMA IF EXISTS $schema CASCADE" >/dev/null 2>&1 || true
  fi
  if [ -n "$cluster" ]; then bash "$here/scripts/pg-test-cluster.sh" stop "$cluster" || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
if [ -z "$url" ]; then
  cluster=$work/cluster
  # A durable server, as the file is: its commits reach the disk.
  url=$(PG_TEST_FSYNC=on bash "$here/scripts/pg-test-cluster.sh" start "$cluster")
fi
schema=kova_bench_$$
repo="$url&schema=$schema"
case $url in *\?*) ;; *) repo="$url?schema=kova_bench_$$" ;; esac

# prefixes <schema files...>: a "namespace prefix" line for every namespace
# the files declare a prefix for or target (nsN when none is declared).
prefixes() {
  cat "$@" | grep -o 'xmlns:[A-Za-z0-9_.-]*="[^"]*"' |
    sed 's/xmlns:\([^=]*\)="\([^"]*\)"/\2 \1/' | sort -u -k1,1 >"$work/prefixes"
  local n=0
  for ns in $(cat "$@" | grep -o 'targetNamespace="[^"]*"' |
    sed 's/targetNamespace="\(.*\)"/\1/' | sort -u); do
    if ! awk -v ns="$ns" '$1 == ns { found = 1 } END { exit !found }' "$work/prefixes"; then
      n=$((n + 1))
      echo "$ns ns$n" >>"$work/prefixes"
    fi
  done
  cat "$work/prefixes"
}

# The UBL-Invoice parameter file for repository $1, message set $2.
doc=$corpus/ubl-2.5/maindoc
parms() {
  local out=$work/$2.parms
  {
    printf 'QEL_DB=%s\nMESSAGESET=%s\nROOTELEMENT=Invoice\nFILEPATH=%s/\n' "$1" "$2" "$doc"
    printf '[FILELIST]\nUBL-Invoice-2.5.xsd\n[NAMESPACEPREFIX]\n'
    prefixes "$doc/UBL-Invoice-2.5.xsd" "$corpus"/ubl-2.5/common/*.xsd
    printf '[FILELOCATION]\n'
    for f in "$corpus"/ubl-2.5/common/*.xsd; do printf '%s %s\n' "$(basename "$f")" "$f"; done
  } >"$out"
  echo "$out"
}

# The server's CPU seconds so far: the postmaster's own and those of its
# ended children (each import's backend ends with its connection).
server_cpu() {
  if [ -z "$cluster" ]; then echo 0; return; fi
  local pid; pid=$(head -1 "$cluster/data/postmaster.pid")
  awk -v hz="$(getconf CLK_TCK)" '{ sub(/^.*\) /, ""); printf "%.3f\n", ($12 + $13 + $14 + $15) / hz }' \
    "/proc/$pid/stat"
}

# timed <label> <parms> [args]: "wall importer-cpu server-cpu" of one
# import, which must succeed.
timed() {
  local label=$1 p=$2; shift 2
  local s0; s0=$(server_cpu)
  /usr/bin/time -f '%e %U %S' -o "$work/$label.time" "$xsdimport" -f "$p" "$@" >"$work/$label.log" ||
    { echo "import $label failed:" >&2; tail -5 "$work/$label.log" >&2; exit 1; }
  sleep 0.2  # the backend ends after the importer
  local s1; s1=$(server_cpu)
  awk -v s="$(echo "$s1 - $s0" | bc)" '{ printf "%.3f %.3f %.3f\n", $1, $2 + $3, s }' "$work/$label.time"
}

best() {  # best <label> <parms-maker> [args]: the best wall of three, with its CPU
  local label=$1 maker=$2; shift 2
  local bestw=999 bestc=0 bests=0
  for i in 1 2 3; do
    local p; p=$("$maker" "$i")
    read -r w c sv < <(timed "$label$i" "$p" "$@")
    if awk -v a="$w" -v b="$bestw" 'BEGIN { exit !(a < b) }'; then bestw=$w bestc=$c bests=$sv; fi
  done
  echo "$bestw $bestc $bests"
}
file_parms() { rm -f "$work/file$1.kovadb"; parms "$work/file$1.kovadb" "F$1"; }
server_parms() { parms "$repo" "S$1"; }
# For the runs with -c: the set exists already (one import each beforehand).
file_reset_parms() { parms "$work/reset.kovadb" "R"; }
server_reset_parms() { parms "$repo" "R"; }

compare() {  # compare <what> <file: wall cpu> <server: wall cpu server-cpu>
  printf '%s\n' "$1"
  printf '  file    wall %6.3f s  cpu %6.3f s\n' "$2" "$3"
  if [ -n "$cluster" ]; then
    printf '  server  wall %6.3f s  cpu %6.3f s  (+ server %6.3f s)\n' "$4" "$5" "$6"
  else
    printf '  server  wall %6.3f s  cpu %6.3f s\n' "$4" "$5"
  fi
  awk -v fw="$2" -v fc="$3" -v sw="$4" -v sc="$5" -v ss="$6" -v own="${cluster:+1}" 'BEGIN {
    printf "  ratio   wall %6.2f    cpu %6.2f (importer)", sw / fw, sc / fc
    if (own) printf "  %6.2f (importer + server)", (sc + ss) / fc
    printf "\n" }'
}

echo "== 1. UBL-Invoice: file against server (best of three)"
read -r fw fc _ < <(best file file_parms)
read -r sw sc ss < <(best server server_parms)
compare "a new message set" "$fw" "$fc" "$sw" "$sc" "$ss"
timed file-r0 "$(file_reset_parms)" >/dev/null
timed server-r0 "$(server_reset_parms)" >/dev/null
read -r rfw rfc _ < <(best file-r file_reset_parms -c)
read -r rsw rsc rss < <(best server-r server_reset_parms -c)
compare "the same set again, reset first (-c)" "$rfw" "$rfc" "$rsw" "$rsc" "$rss"

echo "== 2. four importers into four sets of one server repository"
for i in 1 2 3 4; do parms "$repo" "Seq$i" >/dev/null; parms "$repo" "Par$i" >/dev/null; done
start=$(date +%s.%N)
for i in 1 2 3 4; do "$xsdimport" -f "$work/Seq$i.parms" >"$work/seq$i.log" || { echo "Seq$i failed"; exit 1; }; done
seq_wall=$(echo "$(date +%s.%N) - $start" | bc)
start=$(date +%s.%N)
pids=()
for i in 1 2 3 4; do "$xsdimport" -f "$work/Par$i.parms" >"$work/par$i.log" & pids+=($!); done
for p in "${pids[@]}"; do wait "$p" || { echo "a parallel import failed"; exit 1; }; done
par_wall=$(echo "$(date +%s.%N) - $start" | bc)
printf 'one after another %6.3f s, at once %6.3f s (%d cores)\n' "$seq_wall" "$par_wall" "$(nproc)"

echo "== 3. kill -9 at $kills random moments of a server import"
# Odd kills hit an import that resets the complete set S1 (-c), even ones an
# import into a new set "Killed".  After each kill the repository must hold
# exactly what it held before, or, when the commit had reached the server
# before the kill, the complete import: S1 as it was (same content, new
# handles), or a new set "Killed" with the content of S1 and nothing else.
snapshot() {  # every row of the repository's schema, in a stable order
  pg_dump --data-only --schema="$schema" --no-owner "$url" |
    grep -v -e setval -e '^--' -e '^$' -e '^.restrict' -e '^.unrestrict' | sort | md5sum
}
content() {  # a message set's export without its name and identifier
  "$build/bin/kova-repo" export "$repo" "$1" 2>/dev/null |
    sed -e '/"identifier"/d' -e '/"name": "\(S1\|Killed\)"/d' | md5sum
}
reference=$(content S1)
before=$(snapshot)
reset_parms=$(parms "$repo" "S1")
new_parms=$(parms "$repo" "Killed")
# An import takes about $sw seconds; the kills spread over 0 .. 1.2 x that.
span_ms=$(awk -v s="$sw" 'BEGIN { printf "%d", s * 1200 }')
unchanged=0 complete=0 broken=0
for k in $(seq 1 "$kills"); do
  if [ $((k % 2)) -eq 0 ]; then p=$new_parms; args=(); else p=$reset_parms; args=(-c); fi
  "$xsdimport" -f "$p" "${args[@]}" >"$work/kill.log" 2>&1 &
  pid=$!
  delay=$((RANDOM % (span_ms + 1)))
  sleep "$(awk -v d="$delay" 'BEGIN { printf "%.3f", d / 1000 }')"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  sleep 0.1  # the server ends the killed client's session
  after=$(snapshot)
  if [ "$after" = "$before" ]; then
    unchanged=$((unchanged + 1))
    continue
  fi
  if [ "$p" = "$new_parms" ] && [ "$(content Killed)" = "$reference" ]; then
    "$build/bin/kova-repo" delete --yes "$repo" Killed >/dev/null
    if [ "$(snapshot)" = "$before" ]; then complete=$((complete + 1)); continue; fi
  elif [ "$p" = "$reset_parms" ] && [ "$(content S1)" = "$reference" ] &&
       ! "$build/bin/kova-repo" list "$repo" | grep -q '^Killed '; then
    complete=$((complete + 1))
    before=$after
    continue
  fi
  echo "kill $k after ${delay} ms: the repository holds a partial import"
  broken=$((broken + 1))
  before=$(snapshot)
done
echo "of $kills kills: $unchanged left the repository unchanged, $complete came after the" \
  "commit (the import complete), $broken left a partial import"
[ "$broken" -eq 0 ]
