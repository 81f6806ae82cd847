#!/usr/bin/env bash
# What one call costs the database: starts PostgreSQL with every statement
# logged, one varnel-server on it with the demo community, signs alice in,
# and prints the statements the server sent for one GetMessage poll (with
# nothing waiting, binding renewed) and for one list call. Statements sent
# ahead without waiting (the next read's BEGIN after a commit) appear too.
#
# Usage: bench/server_load/statements.sh BUILD_DIR
set -euo pipefail
SERVER=${VARNEL_SERVER:-$1/server/varnel-server}
[ -x "$SERVER" ] || { echo "no varnel-server at $SERVER" >&2; exit 1; }
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -n 1)
WORK=$(mktemp -d /tmp/varnel-statements-XXXXXX)
chmod 755 "$WORK"
# PostgreSQL refuses to run as root: then it runs as postgres (or nobody).
as_pg() {
    if [ "$(id -u)" -ne 0 ]; then
        "$@"
    elif id postgres >/dev/null 2>&1; then
        (cd "$WORK" && runuser -u postgres -- "$@")
    else
        (cd "$WORK" && runuser -u nobody -- "$@")
    fi
}
mkdir -m 700 "$WORK/pg"
[ "$(id -u)" -ne 0 ] || chown "$(id postgres >/dev/null 2>&1 && echo postgres || echo nobody):" "$WORK/pg"
SERVER_PID=
cleanup() {
    [ -z "$SERVER_PID" ] || kill "$SERVER_PID" 2>/dev/null || true
    as_pg "$PG_BIN/pg_ctl" -D "$WORK/pg/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
as_pg "$PG_BIN/initdb" -D "$WORK/pg/data" -U varnel --auth=trust --no-instructions -E UTF8 --locale=C >/dev/null
as_pg "$PG_BIN/pg_ctl" -D "$WORK/pg/data" -l "$WORK/pg/pg.log" -w -o "-p $port -c listen_addresses=127.0.0.1 \
 -c unix_socket_directories=$WORK/pg -c log_statement=all -c log_line_prefix='%p '" start >/dev/null
"$PG_BIN/psql" -X -q -d "postgresql://varnel@127.0.0.1:$port/postgres" -c "CREATE DATABASE community"
head -c 32 /dev/urandom >"$WORK/key"
chmod 600 "$WORK/key"
"$SERVER" --port 0 --files "$WORK/files" --log "$WORK/server.log" --db "postgresql://varnel@127.0.0.1:$port/community" \
    --key-file "$WORK/key" --demo >"$WORK/server.out" 2>&1 &
SERVER_PID=$!
until grep -q '^varnel-server ready$' "$WORK/server.out" 2>/dev/null; do
    kill -0 "$SERVER_PID" 2>/dev/null || { cat "$WORK/server.out" >&2; exit 1; }
    sleep 0.1
done
SPORT=$(head -n 1 "$WORK/server.out" | sed -n 's/^.*:\([0-9]*\)$/\1/p')
NS="http://127.0.0.1/Services/VarnelServices"
call() { # operation params
    curl -s -H 'Content-Type: text/xml; charset=utf-8' --data-binary @- \
        "http://127.0.0.1:$SPORT/Varnel/Web/Services/VarnelServices.asmx" <<XML
<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Header><CredentialSoapHeader xmlns="$NS"><Username>QuilloraAgent</Username><Password>k7Varnel#2007-svc</Password></CredentialSoapHeader></soap:Header><soap:Body><$1 xmlns="$NS">$2</$1></soap:Body></soap:Envelope>
XML
}
answer=$(call GetUserByUserName '<userName>alice</userName><password>alice123</password>')
id=$(grep -o 'PKID&gt;[0-9]*' <<<"$answer" | head -n 1 | grep -o '[0-9]*$' || true)
[ -n "$id" ] || { echo "alice could not sign in: $answer" >&2; exit 1; }
listener=$(grep -m1 'LISTEN varnel_lists' "$WORK/pg/pg.log" | cut -d' ' -f1)
statements() { # label command...
    local label=$1 from
    shift
    sleep 1.2 # the binding is renewed at most once a second
    from=$(wc -l <"$WORK/pg/pg.log")
    "$@" >/dev/null
    sleep 0.3
    echo "== $label"
    tail -n +"$((from + 1))" "$WORK/pg/pg.log" | grep -v "^$listener " | grep -E 'LOG:  (statement|execute)' |
        sed -E 's/^[0-9]+ //; s/LOG:  //' | cut -c1-150
}
# Each pooled connection prepares a statement the first time it runs it.
for i in 1 2 3 4 5; do
    call GetMessage "<userID>$id</userID>" >/dev/null
    sleep 1.1
done
call GetForumPostListByColumn '<forumColumnID>1</forumColumnID><pageSize>15</pageSize><currentPageIndex>1</currentPageIndex>' >/dev/null
statements "GetMessage, nothing waiting" call GetMessage "<userID>$id</userID>"
statements "GetForumPostListByColumn, page 2 (not yet rendered)" call GetForumPostListByColumn \
    '<forumColumnID>1</forumColumnID><pageSize>15</pageSize><currentPageIndex>2</currentPageIndex>'
