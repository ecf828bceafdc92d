#!/bin/sh
# Runs browser_test.mjs in a folder of its own. Without Chromium or
# playwright-core (./dev browser installs both) it is skipped (status 77),
# except in CI, where it fails.
# Usage: browser_test.sh NODE RURUREV NODE_PREFIX [SCREENSHOT.png]
set -u
node=$1 rururev=$2 prefix=$3 screenshot=${4:-}
missing=""
[ -x /usr/bin/chromium ] || missing="chromium"
[ -d "$prefix/node_modules/playwright-core" ] || missing="$missing playwright-core in $prefix"
if [ -n "$missing" ]; then
  echo "preview in a browser: not run, missing$missing (./dev browser installs them)"
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$node" "$(dirname "$0")/browser_test.mjs" "$rururev" "$prefix/node_modules" "$work" $screenshot
