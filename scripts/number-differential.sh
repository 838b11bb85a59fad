#!/bin/bash
# The number corpus (tools/numbers/number_corpus) printed by the desktop's build and by the
# browser's build under node must be the same bytes: number text, VAL, PRINT USING, PSET's
# rounding, the palette conversion and the pixels of circles and DRAW.
#   scripts/number-differential.sh DESKTOP_BUILD WEB_BUILD [--time]
# --time also prints each build's median time per VAL and STR$ call, and their ratio.
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 DESKTOP_BUILD WEB_BUILD [--time]" >&2
  exit 2
fi
desktop=$1/tools/numbers/number_corpus
web=$2/tools/numbers/number_corpus.js
for tool in "$desktop" "$web"; do
  [ -f "$tool" ] || { echo "missing $tool (build it first)" >&2; exit 1; }
done
node=(node --no-experimental-fetch)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$desktop" > "$work/desktop.txt"
"${node[@]}" "$web" > "$work/web.txt"
lines=$(wc -l < "$work/desktop.txt")
if [ "$lines" -lt 100000 ]; then
  echo "the corpus has only $lines cases" >&2
  exit 1
fi
if ! cmp -s "$work/desktop.txt" "$work/web.txt"; then
  echo "The browser's build prints other numbers than the desktop's (desktop <, browser >):"
  diff "$work/desktop.txt" "$work/web.txt" | head -40
  echo "$(diff "$work/desktop.txt" "$work/web.txt" | grep -c '^<' || true) of $lines lines differ"
  exit 1
fi
echo "$lines cases, the same bytes on the desktop and in the browser's build"

if [ "${3:-}" = "--time" ]; then
  "$desktop" --time > "$work/desktop-time.txt"
  "${node[@]}" "$web" --time > "$work/web-time.txt"
  paste -d'|' "$work/desktop-time.txt" "$work/web-time.txt" | awk -F'|' '{
    split($1, d, " ns"); split($2, w, " ns");
    n = split(d[1], dw, " "); m = split(w[1], ww, " ");
    name = d[1]; sub(/ [0-9.]+$/, "", name);
    printf "%-28s desktop %8.1f ns   browser %8.1f ns   ratio %.2f\n", name, dw[n], ww[m], ww[m] / dw[n] }'
fi
