#!/usr/bin/env bash
# Fails when a source file includes a header from a layer above its own, or a Qt header outside
# the widget layers. The table below is the whole layer order, lowest first:
#   common; geometry, platform -> common; imagefile -> platform; picset+engine (the model)
#   -> imagefile, geometry; document -> model; views -> document, platform/qt;
#   shell -> views, platform/qt; the movie program (movie) -> imagefile, common.
# Developer tools and fuzz targets sit on the model and the document (fuzz targets also on the
# installer core), benchmarks also on the views and shell windows they time (with Qt, to drive
# them); a test folder may include what the library it tests may include, plus the test helpers.
set -u
root=${1:-.}
cd "$root" || exit 2
grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"][^>"]+[>"]' \
     --include='*.h' --include='*.hpp' --include='*.cpp' --include='*.cc' --include='*.c' \
     --exclude-dir='build*' --exclude-dir='.git' . 2>/dev/null |
awk '
function set(layer, list) { allowed[layer] = " " list " " }
BEGIN {
  set("common",      "common")
  set("geometry",    "geometry common")
  set("platform",    "platform common")
  set("platform/qt", "platform/qt platform common")
  set("imagefile",   "imagefile platform common")
  set("movie",       "movie imagefile common")
  model = "picset engine imagefile platform geometry common"
  set("picset",      model)
  set("engine",      model)
  set("document",    "document " model)
  set("views",       "views platform/qt document " model)
  set("shell",       "shell views platform/qt document " model)
  set("setup",       "setup platform common")
  set("setup/pages", "setup/pages setup platform common")
  set("tools",       "tools document " model)
  set("fuzz",        "fuzz document setup " model)
  set("bench",       "bench shell views platform/qt document " model)
  qt = " views shell platform/qt setup/pages bench "
  split("common geometry platform imagefile movie picset engine document views shell setup tools fuzz bench tests", k, " ")
  for (i in k) known[k[i]] = 1
  bad = 0
}
# The layer a path inside the project belongs to ("" for none).
function layer_of(p,    c) {
  if (p ~ /^platform\/qt\//) return "platform/qt"
  if (p ~ /^setup\/pages\//) return "setup/pages"
  split(p, c, "/")
  if (!(c[1] in known) || index(p, "/") == 0) return ""
  return c[1]
}
# A test folder is checked as the library it tests.
function tested_layer(p,    c, t) {
  split(p, c, "/")
  t = c[2]
  if (t == "platform_qt") t = "platform/qt"
  if (t == "setup_pages") t = "setup/pages"
  if (!(t in allowed) || index(substr(p, 7), "/") == 0) t = "tools"
  return t
}
function normalise(p,    parts, n, i, out, m) {
  n = split(p, parts, "/"); m = 0
  for (i = 1; i <= n; i++) {
    if (parts[i] == "." || parts[i] == "") continue
    if (parts[i] == "..") { if (m > 0) m--; continue }
    out[++m] = parts[i]
  }
  p = ""
  for (i = 1; i <= m; i++) p = p (i > 1 ? "/" : "") out[i]
  return p
}
{
  file = $0; sub(/:.*/, "", file); sub(/^\.\//, "", file)
  line = $0; sub(/^[^:]*:[0-9]+:/, "", line)
  from = layer_of(file)
  if (from == "") next
  qt_ok = index(qt, " " from " ") > 0
  rules = allowed[from]
  if (from == "tests") {
    t = tested_layer(file)
    rules = allowed[t] " tests "
    qt_ok = index(qt, " " t " ") > 0 || file ~ /^tests\/(views|shell|platform_qt|setup)\//
  }
  target = line; sub(/^[^<"]*[<"]/, "", target); sub(/[>"].*$/, "", target)
  if (!qt_ok && target ~ /^(Q[A-Za-z0-9_]+|Qt[A-Za-z0-9_]*\/.*)$/) {
    print file ": Qt header " target " below the widget layers"; bad = 1
    next
  }
  if (line ~ /</) next
  if (target ~ /^\.\.?\//) {
    dir = file; sub(/\/[^\/]*$/, "", dir)
    target = normalise(dir "/" target)
  }
  to = layer_of(target)
  if (to == "" || to == from) next
  if (index(rules, " " to " ") == 0) {
    print file ": includes " target " from the layer above it (" to ")"; bad = 1
  }
}
END { exit bad }
'
status=$?
if [ $status -ne 0 ]; then
  echo "layer order broken"
  exit 1
fi
echo "every include keeps to the layer order"
exit 0
