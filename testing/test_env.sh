#!/usr/bin/env bash
# The private test environment of one test run:
#   test_env.sh setup DIR     ODBC configuration in DIR/odbc, a PostgreSQL server on loopback
#   test_env.sh teardown DIR  stops the server and removes its files
# DIR/env then holds KEY=VALUE lines that the tests read (testing/test_env.h).
set -euo pipefail

cmd=${1:?usage: test_env.sh setup|teardown DIR}
dir=${2:?usage: test_env.sh setup|teardown DIR}

as_postgres() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_bindir() {
  if command -v pg_config >/dev/null && [ -x "$(pg_config --bindir)/initdb" ]; then
    pg_config --bindir
  else
    ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1
  fi
}

find_driver() {
  local name=$1
  local found
  found=$(find /usr/lib /usr/local/lib -name "$name" 2>/dev/null | head -1)
  [ -n "$found" ] || { echo "test_env: ODBC driver $name not found" >&2; exit 1; }
  echo "$found"
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])' 2>/dev/null \
    || echo $((20000 + RANDOM % 20000))
}

teardown() {
  [ -f "$dir/env" ] || return 0
  local pgdir
  pgdir=$(sed -n 's/^PG_DIR=//p' "$dir/env")
  if [ -n "$pgdir" ] && [ -d "$pgdir/data" ]; then
    as_postgres "$(pg_bindir)/pg_ctl" -D "$pgdir/data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$pgdir"
  fi
  rm -f "$dir/env"
}

setup() {
  teardown
  mkdir -p "$dir/odbc" "$dir/sqlite"
  local sqlite_driver pg_driver
  sqlite_driver=$(find_driver libsqlite3odbc.so)
  pg_driver=$(find_driver psqlodbcw.so)

  # The server's files live where the postgres user may write; the password reaches initdb
  # through a file that only it can read, never a command line.
  local pgdir port password
  pgdir=$(mktemp -d /tmp/qor-test-pg.XXXXXX)
  chmod 700 "$pgdir"
  password=$(head -c 24 /dev/urandom | base64 | tr -dc 'A-Za-z0-9' | head -c 24)
  umask 077
  printf '%s\n' "$password" > "$pgdir/pwfile"
  [ "$(id -u)" -eq 0 ] && chown -R postgres "$pgdir"
  as_postgres "$(pg_bindir)/initdb" -D "$pgdir/data" -U qor -A scram-sha-256 \
    --pwfile="$pgdir/pwfile" -E UTF8 --locale=C >"$pgdir/initdb.log" 2>&1 \
    || { cat "$pgdir/initdb.log" >&2; exit 1; }
  rm -f "$pgdir/pwfile"
  mkdir -p "$pgdir/socket"
  [ "$(id -u)" -eq 0 ] && chown postgres "$pgdir/socket"
  port=$(free_port)
  as_postgres "$(pg_bindir)/pg_ctl" -D "$pgdir/data" -l "$pgdir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $pgdir/socket -c fsync=off -c max_connections=200" \
    start >/dev/null || { cat "$pgdir/server.log" >&2; exit 1; }

  printf '%s\n' "$password" > "$dir/pg_password"
  chmod 600 "$dir/pg_password"

  cat > "$dir/odbc/odbcinst.ini" <<INI
[SQLite3]
Description=SQLite3 ODBC Driver
Driver=$sqlite_driver

[PostgreSQL]
Description=PostgreSQL ODBC driver
Driver=$pg_driver
INI
  cat > "$dir/odbc/odbc.ini" <<INI
[qor_sqlite]
Driver=SQLite3
Database=$dir/sqlite/qor_test.db

[qor_pg]
Driver=PostgreSQL
Servername=127.0.0.1
Port=$port
Database=postgres
INI
  : > "$dir/odbc/user_odbc.ini"

  cat > "$dir/env" <<ENV
PG_DIR=$pgdir
PG_BINDIR=$(pg_bindir)
PG_HOST=127.0.0.1
PG_PORT=$port
PG_USER=qor
PG_PASSWORD_FILE=$dir/pg_password
SQLITE_DIR=$dir/sqlite
ODBC_DIR=$dir/odbc
ENV
  echo "test_env: PostgreSQL on 127.0.0.1:$port, ODBC configuration in $dir/odbc"
}

case "$cmd" in
  setup) setup ;;
  teardown) teardown ;;
  *) echo "usage: test_env.sh setup|teardown DIR" >&2; exit 2 ;;
esac
