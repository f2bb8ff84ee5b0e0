#!/usr/bin/env bash
# Installs every Debian package that building, running and testing QOR sync needs.
# Safe to run again: apt-get skips what is already installed.
set -euo pipefail

PACKAGES=(
  # build
  cmake g++ ninja-build pkg-config
  # ODBC driver manager with its configuration API, and the two drivers
  unixodbc unixodbc-dev libsqliteodbc odbc-postgresql
  # embedded default database and its script tool; database server and psql
  sqlite3 libsqlite3-dev postgresql postgresql-client
  # console and utility windows, local sockets, JSON, command-line options
  qt6-base-dev nlohmann-json3-dev libcli11-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb
  # the test server runs as the postgres user
  util-linux
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
