#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, only those that
# are missing.  Needs root (or sudo) when something is missing; does nothing
# when everything is installed.
set -euo pipefail

packages=(g++ cmake make pkg-config libxerces-c-dev libsqlite3-dev libpq-dev libgtest-dev
          nlohmann-json3-dev libcli11-dev libxml2-utils time man-db postgresql
          # the differential test: an independent schema reader and the
          # schemas it compares on besides corpus/
          python3-xmlschema docbook5-xml opensaml-schemas xmltooling-schemas)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: every package is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  run=()
elif command -v sudo >/dev/null 2>&1; then
  run=(sudo)
else
  echo "install-deps: run as root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${run[@]}" apt-get update
"${run[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
