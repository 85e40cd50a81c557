#!/usr/bin/env bash
# Builds the program in Release and imports the shipped purchase-order
# example into the SQLite repository examples/purchase-order/po-repository.kovadb.
# Then, when the repository tool is built, shows the imported message.
set -uo pipefail

top="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$top"

bash scripts/install-deps.sh || exit 1
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release || exit 1
cmake --build build -j2 --target xsdimport kova-repo || exit 1

# The parameter file names its files relative to the top directory.  Each
# run starts from a fresh repository, so the example can be run again.
rm -f examples/purchase-order/po-repository.kovadb
echo
echo "== build/bin/xsdimport -f examples/purchase-order/purchase-order.parms"
build/bin/xsdimport -f examples/purchase-order/purchase-order.parms
status=$?
echo "== xsdimport ended with status $status"

if [ -x build/bin/kova-repo ]; then
  echo
  echo "== build/bin/kova-repo show"
  build/bin/kova-repo show examples/purchase-order/po-repository.kovadb PurchaseOrders purchaseOrder
fi
exit $status
