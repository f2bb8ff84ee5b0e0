#!/usr/bin/env bash
# Installs, builds and runs QOR sync's main job on the embedded default (SQLite), without a
# display and without any server:
#   1. Kilnbase creates the local database from sql/local_database.sql and its DSN;
#   2. erpsim creates an ERP store with sample data and the directory entry that finds it;
#   3. QORDbSync copies every table whose copy is built in full, erpsim changes the ERP, and
#      QORDbSync applies the changes by a changed-data copy;
#   4. the counts and the last lines of each table log are printed.
# Everything it makes lives under build/demo, with an ODBC configuration of its own.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QOR_BUILD_DIR:-$root/build}
# The test run sets QOR_DEMO_SKIP_BUILD to run the demo with the build it has just made.
if [ -z "${QOR_DEMO_SKIP_BUILD:-}" ]; then
  "$root/scripts/install-deps.sh"
  cmake -S "$root" -B "$build" -G Ninja >/dev/null
  cmake --build "$build"
fi

# The tables whose copy is built.
tables=(tsmdm030 tscfg220 tscfg200)

demo=${QOR_DEMO_DIR:-$build/demo}
rm -rf "$demo"
mkdir -p "$demo/odbc" "$demo/data" "$demo/logs"
sqlite_driver=$(find /usr/lib /usr/local/lib -name libsqlite3odbc.so 2>/dev/null | head -1)
printf '[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=%s\n' "$sqlite_driver" \
  > "$demo/odbc/odbcinst.ini"
export ODBCSYSINI="$demo/odbc" ODBCINI="$demo/odbc/user_odbc.ini"
export QOR_DIRECTORY="$demo/directory.ldif"
export TMPDIR="$demo"

echo "== Kilnbase: local database and its data source"
"$build/dbcreate/Kilnbase" "sqlite:$demo/data,,,qor,$root/sql/local_database.sql,qor_local"

echo "== erpsim: ERP store with sample data, and its directory entry"
store="DRIVER=SQLite3;Database=$demo/data/erp.db"
"$build/worker/erp/erpsim" create --connect "$store" --rows 2000 --seed 1
"$build/worker/erp/erpsim" directory --file "$QOR_DIRECTORY" --bus "cn=erp1, o=acme" \
  --company 100 --connect "$store"

copy_all() {
  for table in "${tables[@]}"; do
    # The seventh item runs the worker silently: no console is running.
    "$build/worker/QORDbSync" "DSN=qor_local;UID=;PWD=, ,$table,$demo/logs,cn=erp1, o=acme,silent" \
      || echo "QORDbSync for $table ended with status $?"
  done
}

echo "== QORDbSync: full copies"
copy_all
echo "== erpsim: changes in the ERP"
"$build/worker/erp/erpsim" change --connect "$store" --count 300 --seed 2
sqlite3 "$demo/data/qor.db" "UPDATE tstables SET syme = 2"
echo "== QORDbSync: changed-data copies"
copy_all

echo
for table in "${tables[@]}"; do
  rows=$(sqlite3 "$demo/data/qor.db" "SELECT COUNT(*) FROM $table")
  echo "== $table: $rows rows; last lines of $demo/logs/$table.log"
  tail -n 4 "$demo/logs/$table.log" | tr -d '\r'
done
