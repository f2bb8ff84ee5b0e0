#!/usr/bin/env bash
# Runs the README's main command with the build at hand and checks that every built table was
# copied in full and by changes.
set -euo pipefail
build=${1:?usage: demo_test.sh BUILD_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(QOR_BUILD_DIR="$build" QOR_DEMO_SKIP_BUILD=1 QOR_DEMO_DIR="$build/demo_test" \
      "$root/scripts/demo.sh" 2>&1) || { echo "$out"; echo "demo.sh failed"; exit 1; }
echo "$out"
if grep -q "ended with status" <<<"$out"; then echo "a worker failed"; exit 1; fi
for table in tsmdm030 tscfg220 tscfg200; do
  grep -Eq "^== $table: [0-9]+ rows" <<<"$out" || { echo "no summary of $table"; exit 1; }
  grep -Eq "\"Table : $table - [0-9]+ records Inserted\"" <<<"$out" || { echo "no counts of $table"; exit 1; }
done
