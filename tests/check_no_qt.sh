#!/usr/bin/env bash
# Fails when a source file outside the widget layers includes a Qt header.
# Allowed: views/, shell/, platform/qt/, the setup program's pages (setup/pages/) and the
# tests of the window layers (tests/views, tests/shell, tests/platform_qt).
set -u
root=${1:-.}
cd "$root" || exit 2
bad=$(grep -rlE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"](Q[A-Za-z0-9_]+|Qt[A-Za-z0-9_]*/[^>"]*)[>"]' \
        --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' . 2>/dev/null \
      | grep -vE '^\./(views|shell|platform/qt|setup/pages|tests/views|tests/shell|tests/platform_qt)/' \
      | grep -vE '^\./(build[^/]*|\.git)/' \
      | grep -v '^\./tests/check_no_qt' )
if [ -n "$bad" ]; then
  echo "Qt headers included outside the widget layers:"
  echo "$bad"
  exit 1
fi
echo "no Qt header below the views"
exit 0
