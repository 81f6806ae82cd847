#!/usr/bin/env bash
# Load benchmark of varnel-server as a cluster: PostgreSQL in a temporary
# folder, INSTANCES servers on it (the first one seeds the demo community),
# Debian's haproxy in front (round robin, kept-alive connections, health
# checks). The list call of run.sh (and its GetMessage poll, where its load
# script is there) runs through haproxy, against one instance directly, and
# against one server on SQLite, for comparison, at 1, 8 and 32 connections.
# Prints calls/s, p50, p99 and the CPU time per call of each part.
#
# --tls: haproxy terminates TLS (bind ... ssl crt) with a certificate from a
# throw-away CA made here and speaks plain HTTP to the instances, as a site
# of several instances would; the SQLite server serves HTTPS itself with the
# same certificate, for comparison. The instance measured directly stays
# plain: it is the hop behind haproxy.
#
# Usage: bench/server_load/cluster.sh [--tls] BUILD_DIR [SECONDS] [INSTANCES]
# Needs Debian's postgresql, haproxy, wrk, curl (and openssl). Builds nothing:
# BUILD_DIR/server/varnel-server must exist. As root, PostgreSQL runs as the
# postgres account (or nobody), since it refuses to run as root.
# VARNEL_CONNECTIONS overrides the connection counts ("8 32").
set -euo pipefail

TLS=
if [ "${1:-}" = "--tls" ]; then
    TLS=1
    shift
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--tls] BUILD_DIR [SECONDS] [INSTANCES]" >&2
    exit 2
fi
BUILD_DIR=$1
SECONDS_EACH=${2:-10}
INSTANCES=${3:-2}
CONNECTIONS=${VARNEL_CONNECTIONS:-1 8 32}
SERVER=${VARNEL_SERVER:-$BUILD_DIR/server/varnel-server}
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
[ -x "$SERVER" ] || { echo "no varnel-server at $SERVER" >&2; exit 1; }
for tool in wrk curl haproxy /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/deps.sh)" >&2; exit 1; }
done
PG_BIN=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$PG_BIN" ] && [ -x "$PG_BIN/postgres" ] || {
    echo "PostgreSQL server binaries not found under /usr/lib/postgresql (apt-get install postgresql)" >&2
    exit 1
}
case $INSTANCES in [1-9]) ;; *) echo "INSTANCES is 1 to 9" >&2; exit 2 ;; esac

WORK=$(mktemp -d /tmp/varnel-cluster-XXXXXX)
chmod 755 "$WORK"
PG_DIR=$WORK/pg
PIDS=()
PG_STARTED=

# PostgreSQL's commands, as the account that owns the cluster.
PG_ACCOUNT=
if [ "$(id -u)" -eq 0 ]; then
    if id postgres >/dev/null 2>&1; then PG_ACCOUNT=postgres; else PG_ACCOUNT=nobody; fi
fi
as_pg() {
    if [ -n "$PG_ACCOUNT" ]; then
        (cd "$WORK" && runuser -u "$PG_ACCOUNT" -- "$@")
    else
        "$@"
    fi
}

cleanup() {
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${PIDS[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
    if [ -n "$PG_STARTED" ]; then
        as_pg "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

free_port() {
    /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# --- PostgreSQL ---
mkdir -m 700 "$PG_DIR"
[ -z "$PG_ACCOUNT" ] || chown "$PG_ACCOUNT:" "$PG_DIR"
as_pg "$PG_BIN/initdb" -D "$PG_DIR/data" -U varnel --auth=trust --no-instructions -E UTF8 --locale=C \
    >"$WORK/initdb.log" 2>&1 || { cat "$WORK/initdb.log" >&2; exit 1; }
PG_PORT=$(free_port)
# Each instance keeps a pool of connections; 200 leaves room for three.
as_pg "$PG_BIN/pg_ctl" -D "$PG_DIR/data" -l "$PG_DIR/postgres.log" -w -t 60 \
    -o "-p $PG_PORT -c listen_addresses=127.0.0.1 -c unix_socket_directories=$PG_DIR -c max_connections=200" \
    start >/dev/null || { cat "$PG_DIR/postgres.log" >&2; exit 1; }
PG_STARTED=1
"$PG_BIN/psql" -X -q -v ON_ERROR_STOP=1 -d "postgresql://varnel@127.0.0.1:$PG_PORT/postgres" \
    -c "CREATE DATABASE community" >/dev/null
DB="postgresql://varnel@127.0.0.1:$PG_PORT/community?sslmode=disable"
# One key for all instances: each must open the passwords the others sealed.
head -c 32 /dev/urandom >"$WORK/community.key"
chmod 600 "$WORK/community.key"

# --- TLS: a throw-away CA and a certificate for 127.0.0.1 ---
FRONT=http   # the scheme of haproxy's front end and of the SQLite server
SQLITE_TLS=()
CURL=(curl -s)
if [ -n "$TLS" ]; then
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=varnel cluster CA" \
        -keyout "$WORK/ca.key" -out "$WORK/ca.pem" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$WORK/tls.key" -out "$WORK/tls.csr" 2>/dev/null
    openssl x509 -req -in "$WORK/tls.csr" -CA "$WORK/ca.pem" -CAkey "$WORK/ca.key" -CAcreateserial -days 1 \
        -extfile <(printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n') -out "$WORK/tls.pem" 2>/dev/null
    chmod 600 "$WORK/tls.key"
    # haproxy takes the chain and the key in one file.
    cat "$WORK/tls.pem" "$WORK/tls.key" >"$WORK/haproxy.pem"
    chmod 600 "$WORK/haproxy.pem"
    FRONT=https
    SQLITE_TLS=(--tls-cert "$WORK/tls.pem" --tls-key "$WORK/tls.key")
    CURL=(curl -s --cacert "$WORK/ca.pem")
    export VARNEL_CA_FILE="$WORK/ca.pem"
fi

# Starts a server and sets PORT once it is ready. Its output is in $WORK/NAME.out.
start_server() { # name args...
    local name=$1
    shift
    "$SERVER" --port 0 --files "$WORK/files" --log "$WORK/$name.log" --connections-per-address 0 \
        --keep-alive-requests 10000 --max-registrations 0 --max-questions 0 --start-points 1000000 "$@" \
        >"$WORK/$name.out" 2>"$WORK/$name.err" &
    PIDS+=($!)
    local pid=$! i=0
    until grep -q '^varnel-server ready$' "$WORK/$name.out" 2>/dev/null; do
        i=$((i + 1))
        if [ $i -gt 600 ] || ! kill -0 "$pid" 2>/dev/null; then
            echo "varnel-server $name did not start:" >&2
            cat "$WORK/$name.out" "$WORK/$name.err" >&2
            exit 1
        fi
        sleep 0.1
    done
    PORT=$(head -n 1 "$WORK/$name.out" | sed -n 's/^varnel-server listening on https\{0,1\}:.*:\([0-9]*\)$/\1/p')
}

# --- The instances: the first seeds the demo community, the others join it. ---
PORTS=()
for n in $(seq 1 "$INSTANCES"); do
    if [ "$n" -eq 1 ]; then
        start_server pg1 --db "$DB" --key-file "$WORK/community.key" --trusted-proxy 127.0.0.1 --demo
    else
        start_server "pg$n" --db "$DB" --key-file "$WORK/community.key" --trusted-proxy 127.0.0.1
    fi
    PORTS+=("$PORT")
done

# --- haproxy ---
HAPROXY_PORT=$(free_port)
{
    cat <<EOF
global
    maxconn 4096
defaults
    mode http
    option http-keep-alive
    timeout connect 5s
    timeout client 30s
    timeout server 30s
    timeout http-request 10s
    timeout http-keep-alive 30s
frontend soap
    bind 127.0.0.1:$HAPROXY_PORT${TLS:+ ssl crt $WORK/haproxy.pem ssl-min-ver TLSv1.2 alpn http/1.1}
    default_backend varnel
backend varnel
    # The servers trust this balancer's address and take the member's from here.
    option forwardfor
    balance roundrobin
    http-reuse safe
    option httpchk
    http-check send meth GET uri /Varnel/Web/versioncheck.txt
EOF
    for n in $(seq 1 "$INSTANCES"); do
        echo "    server s$n 127.0.0.1:${PORTS[$((n - 1))]} check inter 2s maxconn 48"
    done
} >"$WORK/haproxy.cfg"
haproxy -c -q -f "$WORK/haproxy.cfg" || { cat "$WORK/haproxy.cfg" >&2; exit 1; }
haproxy -db -f "$WORK/haproxy.cfg" >"$WORK/haproxy.out" 2>&1 &
PIDS+=($!)

# --- One server on SQLite, as before ---
start_server sqlite --db "$WORK/community.db" --demo "${SQLITE_TLS[@]}"
SQLITE_PORT=$PORT

export VARNEL_BENCH_DIR="$BENCH_DIR" VARNEL_SITE_HOST=127.0.0.1
SOAP_PATH=/Varnel/Web/Services/VarnelServices.asmx
USER_NAME=${VARNEL_SERVICE_USER:-QuilloraAgent}
PASSWORD=${VARNEL_SERVICE_PASSWORD:-k7Varnel#2007-svc}
NS="http://127.0.0.1/Services/VarnelServices"
esc() { printf '%s' "$1" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g'; }
printf '%s' "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Header><CredentialSoapHeader xmlns=\"$NS\"><Username>$(esc "$USER_NAME")</Username><Password>$(esc "$PASSWORD")</Password></CredentialSoapHeader></soap:Header><soap:Body><GetForumPostListByColumn xmlns=\"$NS\"><forumColumnID>1</forumColumnID><pageSize>15</pageSize><currentPageIndex>1</currentPageIndex></GetForumPostListByColumn></soap:Body></soap:Envelope>" >"$WORK/envelope.xml"

# The list call must answer rows, through haproxy (once every instance is
# up in its health check) and from the SQLite server, with answers of the same size.
list_call() { # scheme port -> "status size rows"
    local head
    head=$("${CURL[@]}" -o "$WORK/answer.xml" -w '%{http_code} %{size_download}' \
        -H 'Content-Type: text/xml; charset=utf-8' --data-binary @"$WORK/envelope.xml" \
        "$1://127.0.0.1:$2$SOAP_PATH") || head="000 0"
    echo "$head $(grep -o '&lt;ForumPosts&gt;' "$WORK/answer.xml" 2>/dev/null | wc -l)"
}
i=0
until [ "$("${CURL[@]}" -o /dev/null -w '%{http_code}' "$FRONT://127.0.0.1:$HAPROXY_PORT/Varnel/Web/versioncheck.txt")" = 200 ]; do
    i=$((i + 1))
    [ $i -lt 100 ] || { echo "haproxy does not answer:" >&2; cat "$WORK/haproxy.out" >&2; exit 1; }
    sleep 0.1
done
sleep 2.5 # one health check round: every server is marked up
read -r STATUS CLUSTER_SIZE ROWS <<<"$(list_call "$FRONT" "$HAPROXY_PORT")"
if [ "$STATUS" != 200 ] || [ "$ROWS" -lt 1 ]; then
    echo "GetForumPostListByColumn through haproxy answered $STATUS with $ROWS rows:" >&2
    head -c 600 "$WORK/answer.xml" >&2
    exit 1
fi
read -r STATUS SQLITE_SIZE ROWS <<<"$(list_call "$FRONT" "$SQLITE_PORT")"
[ "$STATUS" = 200 ] && [ "$ROWS" -ge 1 ] || { echo "the SQLite server answered $STATUS" >&2; exit 1; }

echo "varnel-server cluster benchmark: $(nproc) cores, ${SECONDS_EACH}s per run, $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "cluster: $INSTANCES instances on PostgreSQL $("$PG_BIN/postgres" --version | awk '{print $3}') behind haproxy $(haproxy -v | awk 'NR == 1 {print $3}')"
echo "list call: GetForumPostListByColumn column 1, 15 rows; answer $CLUSTER_SIZE bytes (cluster), $SQLITE_SIZE bytes (SQLite)"
[ -z "$TLS" ] || echo "TLS: haproxy terminates it for the cluster; the SQLite server serves HTTPS itself; the direct instance is plain"
echo
echo "cpu columns: CPU time per call of the varnel-server processes, of PostgreSQL and of haproxy (us)"
echo
printf '%-34s %5s %10s %8s %8s %6s %8s %8s %8s\n' "setup" "conns" "calls/s" "p50 ms" "p99 ms" "errors" \
    "server" "pg" "haproxy"
HAPROXY_PID=${PIDS[$INSTANCES]}
SQLITE_PID=${PIDS[$((INSTANCES + 1))]}
CLOCK_TICKS=$(getconf CLK_TCK)
# CPU ticks (user + system, and of children reaped) of the given processes.
ticks() {
    local total=0 p
    for p in "$@"; do
        [ -r "/proc/$p/stat" ] && total=$((total + $(awk '{print $14 + $15 + $16 + $17}' "/proc/$p/stat")))
    done
    echo "$total"
}
pg_pids() {
    local postmaster
    postmaster=$(head -n 1 "$PG_DIR/data/postmaster.pid")
    echo "$postmaster" $(pgrep -P "$postmaster")
}
per_call() { # ticks calls -> microseconds per call
    awk -v t="$1" -v n="$2" -v hz="$CLOCK_TICKS" 'BEGIN { printf "%.0f", (n > 0 ? t * 1e6 / hz / n : 0) }'
}
run() { # label script url connections server-pids...
    local label=$1 script=$2 url=$3 conns=$4 threads line s0 p0 h0 s1 p1 h1 pg
    shift 4
    threads=$((conns < 2 ? 1 : 2))
    pg=$(pg_pids)
    s0=$(ticks "$@") p0=$(ticks $pg) h0=$(ticks "$HAPROXY_PID")
    line=$(VARNEL_THREADS=$threads VARNEL_CALL_OFFSET=0 \
        wrk -t"$threads" -c"$conns" -d"${SECONDS_EACH}s" --timeout 10s -s "$script" "$url" | grep '^RESULT ')
    pg=$(pg_pids)
    s1=$(ticks "$@") p1=$(ticks $pg) h1=$(ticks "$HAPROXY_PID")
    set -- $line # RESULT calls/s p50 p99 errors calls
    printf '%-34s %5s %10s %8s %8s %6s %8s %8s %8s\n' "$label" "$conns" "$2" "$3" "$4" "$5" \
        "$(per_call $((s1 - s0)) "$6")" "$(per_call $((p1 - p0)) "$6")" "$(per_call $((h1 - h0)) "$6")"
}
served() { # instance -> calls in its log
    wc -l <"$WORK/pg$1.log"
}
# One call, three setups: the cluster through haproxy, one of its instances
# directly (what haproxy's hop costs, and what PostgreSQL's does), and one
# server on SQLite.
measure() { # label script [sqlite-bench-data]
    local label=$1 script=$2 c n
    local before=()
    for n in $(seq 1 "$INSTANCES"); do before+=("$(served "$n")"); done
    for c in $CONNECTIONS; do
        run "$label, cluster" "$script" "$FRONT://127.0.0.1:$HAPROXY_PORT$SOAP_PATH" "$c" "${PIDS[@]:0:$INSTANCES}"
    done
    SPREAD="$SPREAD$label through haproxy:"
    for n in $(seq 1 "$INSTANCES"); do
        SPREAD="$SPREAD instance $n $(($(served "$n") - before[n - 1]))"
    done
    SPREAD="$SPREAD calls"$'\n'
    for c in $CONNECTIONS; do
        run "$label, PostgreSQL direct" "$script" "http://127.0.0.1:${PORTS[0]}$SOAP_PATH" "$c" "${PIDS[0]}"
    done
    for c in $CONNECTIONS; do
        VARNEL_BENCH_DATA=${3:-${VARNEL_BENCH_DATA:-}} \
            run "$label, SQLite" "$script" "$FRONT://127.0.0.1:$SQLITE_PORT$SOAP_PATH" "$c" "$SQLITE_PID"
    done
}
SPREAD=
measure "list" "$BENCH_DIR/post_list.lua"

# The message poll of signed-in members, where the load script for it exists:
# members are registered and signed in through haproxy (all from its
# address, as every caller behind it) and on the SQLite server.
if [ -f "$BENCH_DIR/prepare.py" ] && [ -f "$BENCH_DIR/get_message.lua" ]; then
    export VARNEL_BENCH_DATA="$WORK/cluster_data.lua"
    /usr/bin/python3 "$BENCH_DIR/prepare.py" "$FRONT://127.0.0.1:$HAPROXY_PORT" 127.0.0.1 110 100 "$VARNEL_BENCH_DATA" \
        >/dev/null
    /usr/bin/python3 "$BENCH_DIR/prepare.py" "$FRONT://127.0.0.1:$SQLITE_PORT" 127.0.0.1 110 100 "$WORK/sqlite_data.lua" \
        >/dev/null
    # The SQLite server's members have IDs of their own.
    measure "GetMessage" "$BENCH_DIR/get_message.lua" "$WORK/sqlite_data.lua"
fi

echo
printf '%s' "$SPREAD"
