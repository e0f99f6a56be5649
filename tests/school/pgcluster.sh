#!/usr/bin/env bash
# A throwaway PostgreSQL cluster for one command, always stopped when it ends.
#   pgcluster.sh run SCHEMA.sql COMMAND...  starts a cluster on a free port under a new temp dir,
#       applies the schema, makes the machine's login role and runs COMMAND with PGSERVICEFILE,
#       PGPASSFILE (services "calvenza", the machine, and "calvenza_admin", the superuser),
#       CALVENZA_PGCLUSTER (the dir) and CALVENZA_MACHINE_PASSWORD; exits with COMMAND's status,
#       or 77 without PostgreSQL.
#   pgcluster.sh stop|start DIR             stops or starts that cluster again, inside COMMAND.
set -euo pipefail

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "SKIP: PostgreSQL non è installato (pacchetto postgresql)" >&2
    exit 77
fi
# initdb refuses root: the cluster then belongs to the postgres user.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "${1:-}" in
stop) as_owner "$bin/pg_ctl" -D "$2/data" -m fast -w stop >/dev/null; exit ;;
start) as_owner "$bin/pg_ctl" -D "$2/data" -l "$2/log" -w start >/dev/null; exit ;;
run) ;;
*) echo "uso: pgcluster.sh run SCHEMA.sql COMMAND... | stop DIR | start DIR" >&2; exit 2 ;;
esac
schema=$(realpath "$2")
shift 2

dir=$(mktemp -d /tmp/calvenza-pg.XXXXXX)
chmod 755 "$dir"
cleanup() {
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
machine_pw=macchina-$RANDOM$RANDOM
echo "nessuno-$RANDOM$RANDOM" >"$dir/pw" # initdb wants one; the tests use the socket
[ "$(id -u)" -eq 0 ] && chown postgres "$dir"
as_owner "$bin/initdb" -D "$dir/data" -U postgres --pwfile="$dir/pw" --auth-local=trust \
    --auth-host=scram-sha-256 --no-sync -E UTF8 --locale=C.UTF-8 >/dev/null
cat >>"$dir/data/postgresql.conf" <<EOF
port = $port
unix_socket_directories = '$dir'
listen_addresses = '127.0.0.1'
fsync = off
EOF
as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w start >/dev/null
# Should this script be killed outright (CTest's time-out kills a test and everything under it),
# a watcher that is no longer its child still stops the server.
(setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done
    [ -d "$2/data" ] && { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$3/pg_ctl" -D "$2/data" -m immediate -w stop
    else "$3/pg_ctl" -D "$2/data" -m immediate -w stop; fi; rm -rf "$2"; }' watcher $$ "$dir" "$bin" \
    >/dev/null 2>&1 </dev/null &)
psql_admin() { as_owner "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres "$@"; }
psql_admin -d postgres -c 'CREATE DATABASE calvenza'
psql_admin -d calvenza -f "$schema" >/dev/null
psql_admin -d calvenza -c "CREATE ROLE macchina LOGIN PASSWORD '$machine_pw' IN ROLE calvenza_macchina"

cat >"$dir/pg_service.conf" <<EOF
[calvenza]
host=127.0.0.1
port=$port
dbname=calvenza
user=macchina

[calvenza_admin]
host=$dir
port=$port
dbname=calvenza
user=postgres
EOF
(umask 077 && echo "127.0.0.1:$port:*:macchina:$machine_pw" >"$dir/pgpass")

set +e
PGSERVICEFILE="$dir/pg_service.conf" PGPASSFILE="$dir/pgpass" PGSYSCONFDIR="$dir" \
    CALVENZA_PGCLUSTER="$dir" CALVENZA_MACHINE_PASSWORD="$machine_pw" "$@"
status=$?
set -e
[ $status -ne 0 ] && tail -n 20 "$dir/log" >&2
exit $status
