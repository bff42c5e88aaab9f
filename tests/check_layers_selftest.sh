#!/usr/bin/env bash
# The layer check must accept includes that keep to the layer order and flag each kind of
# include from above: a higher library, a relative path climbing out, a Qt header below the views.
set -u
here=$(cd "$(dirname "$0")" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail=0

put() { mkdir -p "$(dirname "$tmp/$1")"; printf '%s\n' "$2" > "$tmp/$1"; }

put geometry/sphere.cpp      '#include "common/value_types.h"'
put imagefile/codec.cpp      '#include "platform/message_box.h"'
put engine/fit/levels.cpp    '#include "geometry/sphere.h"'
put picset/set.cpp           '#include "engine/fit/levels.h"'
put document/doc.cpp         '#include "picset/mccore.h"'
put views/view.cpp           '#include <QtWidgets/QWidget>'
put platform/qt/box.cpp      '#include <QMessageBox>'
put shell/frame.cpp          '#include "platform/qt/box.h"'
put tools/t/main.cpp         '#include "document/doc.h"'
put tests/engine/t.cpp       '#include "tests/support/run.h"'
put tests/views/t.cpp        '#include <QTest>'
put tests/tools/t.cpp        '#include "../imagefile/helper.h"'
put movie/strip.cpp          '#include "imagefile/bmp_codec.h"'
if ! out=$(bash "$here/check_layers.sh" "$tmp"); then
  echo "includes in order were flagged:"; echo "$out"; fail=1
fi

cases=(
  "common/helpers.cpp|#include \"geometry/sphere.h\""
  "geometry/sphere.cpp|#include \"platform/clock.h\""
  "platform/clock.cpp|#include \"imagefile/bitmap.h\""
  "imagefile/codec.cpp|#include \"picset/mccore.h\""
  "imagefile/codec.cpp|#include \"../engine/fit/levels.h\""
  "engine/fit/levels.cpp|#include \"document/doc.h\""
  "picset/set.cpp|#include \"views/view.h\""
  "document/doc.cpp|#include \"platform/qt/box.h\""
  "engine/fit/levels.cpp|  #  include \"QString\""
  "document/doc.cpp|#include <QtCore/QObject>"
  "tests/engine/t.cpp|#include <QImage>"
  "tests/geometry/t.cpp|#include \"picset/mccore.h\""
  "setup/core.cpp|#include \"setup/pages/page.h\""
  "movie/job.cpp|#include \"document/sm_doc.h\""
  "movie/job.cpp|#include \"platform/message_box.h\""
  "movie/job.cpp|#include <QImage>"
)
for c in "${cases[@]}"; do
  file=${c%%|*}; text=${c#*|}
  rm -rf "$tmp"/*
  put "$file" "$text"
  if bash "$here/check_layers.sh" "$tmp" >/dev/null; then
    echo "not flagged: $file: $text"; fail=1
  fi
done
[ $fail -eq 0 ] && echo "layer check flags every include from above"
exit $fail
