#!/usr/bin/env bash
# Includes under src/ run one way: a file includes headers of its own layer
# or of layers below it, never above. Usage: include_order.sh SRC_DIR
#   --plant   first copies SRC_DIR, adds an upward include to the copy and
#             expects this check to refuse it (the check's own proof).
set -u

# Layers from the bottom; each folder of src/ belongs to one.
LAYERS=(
  "core"                          # pixel words, masks, grey weights, colour models
  "engine"                        # dispatch, RURUREV_PLAIN/RURUREV_TARGET, threads, splits
  "simd"                          # vector helpers of the fast paths
  "lua"                           # argument reading and Lua API glue
  "filters adjust curve region"   # the filter list, kernels, fast paths, bindings
  "module"                        # entry point, module state and its reset
  "image"                         # pictures, video and their Lua modules
  "cli playground"                # the rururev program; the WebAssembly engine
)

# Known upward includes, each to be removed by its layer's owner; none today.
ALLOWED=()

src=${1:?usage: include_order.sh SRC_DIR [--plant]}

if [ "${2:-}" = --plant ]; then
  copy=$(mktemp -d)
  trap 'rm -rf "$copy"' EXIT
  cp -R "$src/." "$copy/"
  printf '#include "module/module_state.h"\n' >> "$copy/core/pixel.h"
  if "$0" "$copy" > /dev/null 2>&1; then
    echo "include_order: an include from core up to module was not refused" >&2
    exit 1
  fi
  exit 0
fi

layer_of() {
  local i folder
  for i in "${!LAYERS[@]}"; do
    for folder in ${LAYERS[$i]}; do
      [ "$folder" = "$1" ] && { echo "$i"; return; }
    done
  done
  echo -1
}

status=0
cd "$src" || exit 2
while IFS= read -r file; do
  from=${file%%/*}
  [ "$from" = "$file" ] && { echo "include_order: $file lies outside every layer's folder" >&2; status=1; continue; }
  from_layer=$(layer_of "$from")
  if [ "$from_layer" -lt 0 ]; then
    echo "include_order: folder src/$from is in no layer" >&2; status=1; continue
  fi
  while IFS= read -r header; do
    to=${header%%/*}
    [ "$to" = "$header" ] && continue          # a system or same-folder header
    [ -e "$header" ] || continue               # not one of ours
    to_layer=$(layer_of "$to")
    [ "$to_layer" -le "$from_layer" ] && continue
    edge="$file -> $header"
    for allowed in ${ALLOWED[@]+"${ALLOWED[@]}"}; do [ "$edge" = "$allowed" ] && continue 2; done
    echo "include_order: $edge includes upward ($from is below $to)" >&2
    status=1
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(find . -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inc' \) | sed 's|^\./||' | sort)
exit $status
