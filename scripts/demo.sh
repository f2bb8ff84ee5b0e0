#!/usr/bin/env bash
# Installs, builds and runs QOR sync's main job on the embedded default (SQLite), without a
# display and without any server. Everything it makes lives under build/demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QOR_BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

demo="$build/demo"
rm -rf "$demo"
mkdir -p "$demo/odbc" "$demo/data" "$demo/logs"
# A private ODBC configuration: the demo never touches the machine's data sources.
sqlite_driver=$(find /usr/lib /usr/local/lib -name libsqlite3odbc.so 2>/dev/null | head -1)
printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=%s\n' "$sqlite_driver" > "$demo/odbc/odbcinst.ini"
: > "$demo/odbc/odbc.ini"
export ODBCSYSINI="$demo/odbc" ODBCINI="$demo/odbc/user_odbc.ini"

echo "== local database from sql/local_database.sql"
sqlite3 "$demo/data/qor.db" < "$root/sql/local_database.sql"
printf '[qor_local]\nDriver=SQLite3\nDatabase=%s\n' "$demo/data/qor.db" >> "$demo/odbc/odbc.ini"
sqlite3 "$demo/data/qor.db" ".tables"
