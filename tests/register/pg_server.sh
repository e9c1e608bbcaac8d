#!/usr/bin/env bash
# A scratch PostgreSQL server for the tests.
#   pg_server.sh start DIR   initialises DIR the first time (data, socket and log in it), starts
#                            the server on 127.0.0.1 on a free port (the same port again when DIR
#                            was started before) with trust authentication, database "km71" and
#                            user "km71"; waits until it accepts connections; writes the register
#                            URL into DIR/url and prints it.
#   pg_server.sh stop DIR    stops it (fast shutdown) and waits.
# Run as root, the server runs as the unprivileged "postgres" user (else "nobody"), which owns
# DIR; when that user cannot reach DIR (a folder under a private home), the data lives in a
# folder under /tmp that DIR names in DIR/real.
set -euo pipefail

usage() {
    echo "usage: $0 start|stop DIR" >&2
    exit 2
}
[ $# -eq 2 ] || usage
action=$1
dir=$2

bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "pg_server.sh: no PostgreSQL server in /usr/lib/postgresql/*/bin; install the postgresql package (scripts/install-deps.sh does)." >&2
    exit 1
fi

runas=
if [ "$(id -u)" -eq 0 ]; then
    if id postgres >/dev/null 2>&1; then runas=postgres; else runas=nobody; fi
fi
# Runs a command as the server's user.
as_server() {
    if [ -n "$runas" ]; then runuser -u "$runas" -- "$@"; else "$@"; fi
}

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[ -z "$runas" ] || chown "$runas" "$dir"

# Where the server's files live: DIR itself, or the folder DIR/real names.
home=$dir
if [ -f "$dir/real" ]; then
    home=$(cat "$dir/real")
elif ! as_server test -w "$dir" -a -x "$dir"; then
    home=$(mktemp -d /tmp/km71-pg.XXXXXX)
    chown "$runas" "$home"
    echo "$home" >"$dir/real"
fi
data=$home/data
log=$home/server.log
[ "$home" = "$dir" ] || ln -sfn "$log" "$dir/server.log"

running() {
    [ -f "$data/postmaster.pid" ] && as_server "$bin/pg_ctl" -D "$data" status >/dev/null 2>&1
}

if [ "$action" = stop ]; then
    if running; then as_server "$bin/pg_ctl" -D "$data" stop -m fast -w >/dev/null; fi
    exit 0
fi
[ "$action" = start ] || usage

if [ ! -f "$data/PG_VERSION" ]; then
    as_server "$bin/initdb" -D "$data" -U km71 --auth=trust --no-sync --no-instructions \
        -E UTF8 --locale=C >"$home/initdb.log" 2>&1 ||
        { cat "$home/initdb.log" >&2; exit 1; }
fi

# A port no one listens on (something connects: taken).
port_free() {
    ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

# The socket goes beside the data unless its path would be too long for a socket name.
socket_dir=$home
[ ${#socket_dir} -lt 90 ] || socket_dir=

start_on() {
    as_server "$bin/pg_ctl" -D "$data" -l "$log" -w -t 60 start -o \
        "-p $1 -c listen_addresses=127.0.0.1 -c unix_socket_directories='$socket_dir' \
         -c fsync=off -c synchronous_commit=off -c full_page_writes=off \
         -c shared_buffers=16MB -c max_connections=60" >/dev/null
}

if ! running; then
    started=
    if [ -f "$dir/port" ]; then
        port=$(cat "$dir/port")
        start_on "$port" && started=1
    else
        for _ in $(seq 1 20); do
            port=$((20000 + RANDOM % 40000))
            port_free "$port" || continue
            if start_on "$port"; then started=1; break; fi
        done
    fi
    if [ -z "$started" ]; then
        echo "pg_server.sh: the server in $dir did not start; see $log." >&2
        exit 1
    fi
    echo "$port" >"$dir/port"
fi
port=$(cat "$dir/port")

"$bin/psql" -h 127.0.0.1 -p "$port" -U km71 -d postgres -qtAc \
    "SELECT 1 FROM pg_database WHERE datname = 'km71'" | grep -q 1 ||
    "$bin/createdb" -h 127.0.0.1 -p "$port" -U km71 km71

url="postgresql://km71@127.0.0.1:$port/km71"
echo "$url" >"$dir/url"
echo "$url"
