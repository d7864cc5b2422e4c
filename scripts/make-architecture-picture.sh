#!/usr/bin/env bash
# Draws docs/layers.svg, the libraries of the program and what each links, from CMake's own
# account of the targets (cmake --graphviz), so the picture cannot drift from the build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh graphviz
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$out/build"
cat >"$out/build/CMakeGraphVizOptions.cmake" <<'OPTIONS'
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_INTERFACE_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^tst_|^bench_|testsupport|_autogen|_resources|^vantrel_schema|^vantrel_pictures|_other_files")
OPTIONS
(cd "$out" && cmake -S "$OLDPWD" -B "$out/build" --graphviz="$out/layers.dot" >/dev/null)
# Without the legend of target kinds, which says nothing here.
awk '/subgraph clusterLegend/ { skip = 1 } !skip { print } skip && /^ *}$/ { skip = 0 }' "$out/layers.dot" >"$out/drawn.dot"
dot -Tsvg "$out/drawn.dot" -o docs/layers.svg
echo "docs/layers.svg"
