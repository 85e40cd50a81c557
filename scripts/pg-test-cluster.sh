#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for the tests and benchmarks.
#
#   scripts/pg-test-cluster.sh start DIR   initdb into DIR (which must not
#                                          exist or be empty) and start a
#                                          server listening only on a Unix
#                                          socket in DIR; prints the URL
#   scripts/pg-test-cluster.sh stop DIR    stops the server and removes DIR
#   scripts/pg-test-cluster.sh url DIR     prints the URL again
#
# The URL (postgresql:///kova?host=DIR&port=PORT&user=...) is what
# KOVA_TEST_PG_URL and the benchmarks take.  Run as root, the cluster belongs
# to the unprivileged user "postgres" (created by the Debian package), never
# to root; otherwise to the calling user.  The server does not sync to disk
# (fsync=off, for quick tests) unless PG_TEST_FSYNC=on.
set -euo pipefail

bindir="${PG_BINDIR:-/usr/lib/postgresql/15/bin}"
port="${PG_TEST_PORT:-54329}"
cmd="${1:-}"
dir="${2:-}"
if [ -z "$cmd" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop|url DIR" >&2
  exit 2
fi

if [ "$(id -u)" -eq 0 ]; then
  owner="${PG_TEST_OWNER:-postgres}"
  as_owner() { runuser -u "$owner" -- "$@"; }
else
  owner="$(id -un)"
  as_owner() { "$@"; }
fi

url() { echo "postgresql:///kova?host=$dir&port=$port&user=$owner"; }

case "$cmd" in
  start)
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    if [ "$(id -u)" -eq 0 ]; then
      chown "$owner" "$dir"
      # The owner must reach the folder through its parents (mktemp makes
      # them private to root).
      p="$dir"
      while [ "$p" != "/" ]; do
        p="$(dirname "$p")"
        chmod o+x "$p" 2>/dev/null || true
      done
    fi
    as_owner "$bindir/initdb" -D "$dir/data" -A trust -U "$owner" --no-sync >"$dir/initdb.log"
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
      -o "-c listen_addresses='' -c unix_socket_directories='$dir' -p $port -c fsync=${PG_TEST_FSYNC:-off}" start \
      >/dev/null
    as_owner "$bindir/createdb" -h "$dir" -p "$port" kova
    url
    ;;
  stop)
    dir="$(cd "$dir" 2>/dev/null && pwd || echo "$dir")"
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    ;;
  url)
    dir="$(cd "$dir" && pwd)"
    url
    ;;
  *)
    echo "usage: $0 start|stop|url DIR" >&2
    exit 2
    ;;
esac
