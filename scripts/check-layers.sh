#!/usr/bin/env bash
# Fails when an include runs up a layer.
#
#   scripts/check-layers.sh
#
# Layers, lowest first: runtime/core, runtime/screen, runtime/host (with runtime/runtime.h, which
# gathers every area's header), app. A file may include headers of its own layer and of the
# layers below it, never of a layer above. Tests, benchmarks, tools and fuzz targets may include
# anything.
set -euo pipefail
cd "$(dirname "$0")/.."

# Layer number of a repository path; empty for paths outside the layers.
layer_of() {
  case $1 in
    runtime/core/*) echo 0 ;;
    runtime/screen/*) echo 1 ;;
    runtime/host/* | runtime/runtime.h) echo 2 ;;
    app/*) echo 3 ;;
  esac
}

# The layered files git knows, new ones included; outside a git checkout (or without git) there
# is no list, and that fails rather than passing over nothing.
files=$(git ls-files --cached --others --exclude-standard 'runtime/*.h' 'runtime/*.cpp' 'app/*.h' \
  'app/*.cpp') && [ -n "$files" ] || {
  echo "check-layers: no source files listed (needs git and a git checkout)" >&2
  exit 1
}

violations=0
while IFS= read -r file; do
  own=$(layer_of "$file")
  while IFS=: read -r line included; do
    target=$(layer_of "$included")
    if [ -n "$target" ] && [ "$target" -gt "$own" ]; then
      echo "$file:$line: includes $included, which lies in a higher layer"
      violations=$((violations + 1))
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$file" |
             sed 's/^\([0-9]*\):[^"]*"\([^"]*\)".*/\1:\2/')
done <<<"$files"

if [ "$violations" -ne 0 ]; then
  echo "$violations upward include(s): see the layers at the top of scripts/check-layers.sh"
  exit 1
fi
echo "Layers: no upward include"
