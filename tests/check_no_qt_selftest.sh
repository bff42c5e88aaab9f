#!/usr/bin/env bash
# The layer check must flag a Qt include below the views and accept one inside them.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/views" "$tmp/engine" "$tmp/platform/qt" "$tmp/tests/shell" "$tmp/tests/document"
echo '#include <QtWidgets/QWidget>' > "$tmp/views/ok.cpp"
echo '#include <QImage>' > "$tmp/platform/qt/ok.cpp"
echo '#include <QTest>' > "$tmp/tests/shell/ok.cpp"
bash "$here/check_no_qt.sh" "$tmp" >/dev/null || { echo "allowed folders were flagged"; exit 1; }
echo '  #  include "QString"' > "$tmp/engine/bad.h"
if bash "$here/check_no_qt.sh" "$tmp" >/dev/null; then
  echo "a Qt include in engine/ went unnoticed"
  exit 1
fi
rm "$tmp/engine/bad.h"
echo '#include <QApplication>' > "$tmp/tests/document/bad.cpp"
if bash "$here/check_no_qt.sh" "$tmp" >/dev/null; then
  echo "a Qt include in the document's tests went unnoticed"
  exit 1
fi
echo "layer check catches Qt includes"
