#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and checks it as a user of
# the installed package would: the library's links, SONAME and exported
# symbols, a C client built once through pkg-config and once through CMake's
# find_package and run, and the man pages rendered without warnings.
# Usage: installed_tree.sh BUILD_DIR CLIENT_SOURCE_DIR C_COMPILER
set -euo pipefail
build=$1
client=$2
cc=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "installed tree: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null
pcdir=$(dirname "$(find "$prefix" -name qelbeapi.pc -print -quit)")
[ -n "$pcdir" ] && [ "$pcdir" != . ] || fail "no qelbeapi.pc installed"
export PKG_CONFIG_PATH=$pcdir
libdir=$(pkg-config --variable=libdir qelbeapi)
[ -f "$libdir/libqelbeapi.so.1" ] || fail "pkg-config's libdir $libdir holds no libqelbeapi.so.1"

# The links of a shared library package.
[ "$(readlink "$libdir/libqelbeapi.so")" = libqelbeapi.so.1 ] || fail "libqelbeapi.so is not a link to .so.1"
[ -L "$libdir/libqelbeapi.so.1" ] || fail "libqelbeapi.so.1 is not a link"
objdump -p "$libdir/libqelbeapi.so.1" | grep -q 'SONAME *libqelbeapi.so.1$' || fail "SONAME is not libqelbeapi.so.1"
# Only the C API is exported.
others=$(nm -D --defined-only "$libdir/libqelbeapi.so.1" | awk '$3 !~ /^QEL/ {print $3}')
[ -z "$others" ] || fail "symbols beside the C API are exported: $others"

# Through pkg-config.
# shellcheck disable=SC2046
"$cc" -std=c99 -pedantic -Wall -Wextra -Werror "$client/client.c" -o "$work/client_pc" \
  $(pkg-config --cflags --libs qelbeapi) -Wl,-rpath,"$libdir"
"$work/client_pc" "$work/pc.kovadb" "$work/missing.kovadb"
[ ! -e "$work/missing.kovadb" ] || fail "reading a missing repository created it"

# Through find_package.
cmake -S "$client" -B "$work/cmake-client" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  >/dev/null || fail "find_package(qelbeapi) failed"
cmake --build "$work/cmake-client" >/dev/null || fail "the CMake client does not build"
"$work/cmake-client/client" "$work/cmake.kovadb" "$work/missing.kovadb"

# The man pages.
for page in xsdimport kova-repo; do
  file=$(find "$prefix" -path "*/man1/$page.1" -print -quit)
  [ -n "$file" ] || fail "man page $page(1) not installed"
  warnings=$(MANWIDTH=80 man --warnings -l "$file" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page $page(1): $warnings"
  MANWIDTH=80 man -l "$file" 2>/dev/null | grep -q "EXIT STATUS" || fail "man page $page(1) does not render"
done
echo "installed tree: library, both clients and man pages are fine"
