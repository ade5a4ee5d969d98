#!/usr/bin/env bash
# sms_database.sh start|stop [PORT]
# A throwaway PostgreSQL cluster that plays the SMS database for tests and benchmarks: role
# "SMSUser", database "SMS", schema SMS with the two sending routines (sms_database.sql), on
# 127.0.0.1:PORT (default 2433). The cluster lives in $TMPDIR/sms-test-database.PORT and runs as
# an unprivileged user (nobody when started by root). "start" first removes a cluster that a
# killed run left behind, so it may always be run again; "stop" removes the cluster.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
action=${1:?usage: sms_database.sh start|stop [PORT]}
port=${2:-2433}
dir="${TMPDIR:-/tmp}/sms-test-database.$port"
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -x "$bin/pg_ctl" ] || { echo "sms_database: PostgreSQL is not installed" >&2; exit 1; }

# The server's user may not enter the caller's directory (initdb insists on reading it).
cd /

owner=$(id -un)
as_owner() { "$@"; }
if [ "$(id -u)" -eq 0 ]; then
  owner=nobody
  as_owner() { runuser -u "$owner" -- "$@"; }
fi

remove_cluster() {
  if [ -L "$dir" ]; then
    echo "sms_database: $dir is a symbolic link; refusing to use it" >&2
    exit 1
  fi
  if [ -f "$dir/data/postmaster.pid" ]; then
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
  fi
  rm -rf "$dir"
}

start() {
  remove_cluster
  mkdir -m 700 "$dir"
  chown "$owner" "$dir"
  as_owner "$bin/initdb" -D "$dir/data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
    --encoding=UTF8 --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 ||
    { cat "$dir/initdb.log" >&2; exit 1; }
  as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 30 \
    -o "-c listen_addresses=127.0.0.1 -p $port -k $dir -c fsync=off -c synchronous_commit=off -c full_page_writes=off" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
  "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres -d postgres \
    -f "$here/sms_database.sql" >/dev/null
}

stop() {
  remove_cluster
}

case "$action" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: sms_database.sh start|stop [PORT]" >&2; exit 2 ;;
esac
