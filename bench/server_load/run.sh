#!/bin/sh
# Load benchmark of varnel-server: calls per second and p50/p99 latency at 1,
# 8 and 32 connections of the list call (GetForumPostListByColumn), of the
# poll every signed-in client makes (GetMessage) and of a write
# (CreatForumReply), and the same for a fixed page of about the list answer's
# size from the same server, as the ceiling. Beside each run: the server's CPU
# time per call, its resident memory, and the connections that had to be
# opened again during the run.
#
# Usage: bench/server_load/run.sh [--tls] BUILD_DIR [SECONDS]
# Needs Debian's wrk, curl and python3 (and openssl with --tls). Builds
# nothing: BUILD_DIR/server/varnel-server must exist. The service account
# defaults to the compiled-in one; set VARNEL_SERVICE_USER /
# VARNEL_SERVICE_PASSWORD for another build, and VARNEL_SERVER to measure
# another server binary. VARNEL_RUNS picks the runs ("list poll write static",
# the default, or any of them).
#
# --tls serves HTTPS with a certificate from a throw-away CA made here, and
# adds the TLS handshakes the server made during each run (full + resumed),
# per 10,000 calls.
set -eu

TLS=
if [ "${1:-}" = "--tls" ]; then
    TLS=1
    shift
fi
if [ $# -lt 1 ]; then
    echo "usage: $0 [--tls] BUILD_DIR [SECONDS]" >&2
    exit 2
fi
BUILD_DIR=$1
SECONDS_EACH=${2:-10}
SERVER=${VARNEL_SERVER:-$BUILD_DIR/server/varnel-server}
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
. "$BENCH_DIR/server_ready.sh"
[ -x "$SERVER" ] || { echo "no varnel-server at $SERVER" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed (apt-get install wrk)" >&2; exit 1; }
RUNS=${VARNEL_RUNS:-list poll write static}

scratch_folder varnel-bench

# The demo community, with the request log in a file as in production, and
# the address binding and rate limits on. prepare.py registers many members
# and has a few of them post many questions, so registrations and questions
# are not limited (nor short of points); answers keep a limit, high enough
# for the write runs, so that its bookkeeping is measured too.
TLS_ARGS=
CURL="curl -s"
if [ -n "$TLS" ]; then
    # A throw-away CA and a certificate for 127.0.0.1 (ECDSA P-256).
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=varnel bench CA" \
        -keyout "$WORK/ca.key" -out "$WORK/ca.pem" 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
        -keyout "$WORK/tls.key" -out "$WORK/tls.csr" 2>/dev/null
    printf 'subjectAltName=IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' >"$WORK/tls.ext"
    openssl x509 -req -in "$WORK/tls.csr" -CA "$WORK/ca.pem" -CAkey "$WORK/ca.key" -CAcreateserial -days 1 \
        -extfile "$WORK/tls.ext" -out "$WORK/tls.pem" 2>/dev/null
    chmod 600 "$WORK/tls.key"
    TLS_ARGS="--tls-cert $WORK/tls.pem --tls-key $WORK/tls.key"
    CURL="curl -s --cacert $WORK/ca.pem"
    export VARNEL_CA_FILE="$WORK/ca.pem"
fi
# shellcheck disable=SC2086 # TLS_ARGS is a list of words
"$SERVER" --demo --port 0 $TLS_ARGS --db "$WORK/community.db" --files "$WORK/files" --log "$WORK/requests.log" \
    --max-registrations 0 --max-questions 0 --max-answers 1000000 --start-points 1000000 \
    >"$WORK/stdout" 2>"$WORK/stderr" &
SERVER_PID=$!
server_ready "$WORK/stdout" "$WORK/stderr" "$SERVER_PID"
BASE=$SITE_BASE
HOST=$(echo "$BASE" | sed 's|^https\{0,1\}://||; s|:[0-9]*$||; s|^\[||; s|\]$||')
PORT=${BASE##*:}

export VARNEL_BENCH_DIR="$BENCH_DIR" VARNEL_SITE_HOST="$HOST"
SOAP_URL="$BASE/Varnel/Web/Services/VarnelServices.asmx"

# One call by curl with the envelope post_list.lua sends: the answer must be a
# 200 with rows, and its size picks the static page.
ENVELOPE="$WORK/envelope.xml"
USER_NAME=${VARNEL_SERVICE_USER:-QuilloraAgent}
PASSWORD=${VARNEL_SERVICE_PASSWORD:-k7Varnel#2007-svc}
NS="http://$HOST/Services/VarnelServices"
esc() { printf '%s' "$1" | sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g'; }
printf '%s' "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\"><soap:Header xmlns=\"$NS\"><snp:CredentialSoapHeader xmlns:snp=\"$NS\"><Username>$(esc "$USER_NAME")</Username><Password>$(esc "$PASSWORD")</Password></snp:CredentialSoapHeader></soap:Header><soap:Body><GetForumPostListByColumn xmlns=\"$NS\"><forumColumnID>1</forumColumnID><pageSize>15</pageSize><currentPageIndex>1</currentPageIndex></GetForumPostListByColumn></soap:Body></soap:Envelope>" >"$ENVELOPE"
STATUS=$($CURL -o "$WORK/answer.xml" -w '%{http_code}' -H 'Content-Type: text/xml; charset=utf-8' \
    -H "SOAPAction: \"$NS/GetForumPostListByColumn\"" --data-binary @"$ENVELOPE" "$SOAP_URL")
ROWS=$(grep -o '&lt;ForumPosts&gt;\|<ForumPosts>' "$WORK/answer.xml" | wc -l)
if [ "$STATUS" != 200 ] || [ "$ROWS" -lt 1 ]; then
    echo "GetForumPostListByColumn answered $STATUS with $ROWS rows:" >&2
    head -c 600 "$WORK/answer.xml" >&2
    exit 1
fi
SOAP_SIZE=$(wc -c <"$WORK/answer.xml")

# The fixed page closest in size to the SOAP answer.
STATIC_PATH=
STATIC_SIZE=
best=
for path in /Varnel/Web/site.css /Quillora/Help.htm /Quillora/Download.htm /Quillora/GetPoints.htm \
    /Quillora/Password.htm /Quillora/download/Quillora.exe; do
    size=$($CURL -o /dev/null -w '%{size_download}' "$BASE$path")
    diff=$((size > SOAP_SIZE ? size - SOAP_SIZE : SOAP_SIZE - size))
    if [ -z "$best" ] || [ "$diff" -lt "$best" ]; then
        best=$diff
        STATIC_PATH=$path
        STATIC_SIZE=$size
    fi
done

# Members signed in from here, and questions for them to answer: enough
# (answerer, question) pairs that the write runs never reach the five answers
# one member may give one question.
MEMBERS=110
QUESTIONS=$((SECONDS_EACH * 40 < 100 ? 100 : SECONDS_EACH * 40))
export VARNEL_BENCH_DATA="$WORK/bench_data.lua"
/usr/bin/python3 "$BENCH_DIR/prepare.py" "$BASE" "$HOST" "$MEMBERS" "$QUESTIONS" "$VARNEL_BENCH_DATA"

CLOCK_TICKS=$(getconf CLK_TCK)
cpu_ticks() { # utime + stime of the server
    sed 's/^.*) //' "/proc/$SERVER_PID/stat" | awk '{ print $12 + $13 }'
}
memory_kb() { # VmRSS VmHWM
    awk '/^VmRSS:/ { rss = $2 } /^VmHWM:/ { hwm = $2 } END { print rss, hwm }' "/proc/$SERVER_PID/status"
}
# Connections to the server closed during the last SECONDS_EACH seconds, by
# either side: the side that closes first keeps the connection in TIME_WAIT
# for 60 s, and /proc/net/tcp shows the time left (in clock ticks). Only
# meaningful for runs under ~55 s, with a pause before each.
closed_connections() {
    cat /proc/net/tcp /proc/net/tcp6 2>/dev/null | awk -v port="$PORT" -v hz="$CLOCK_TICKS" -v run="$SECONDS_EACH" '
        function hex(h,   i, n) { n = 0; for (i = 1; i <= length(h); i++) n = n * 16 + index("0123456789ABCDEF", toupper(substr(h, i, 1))) - 1; return n }
        $4 == "06" {
            n = split($2, local, ":")
            split($6, timer, ":")
            m = split($3, remote, ":")
            if ((hex(local[n]) == port || hex(remote[m]) == port) && hex(timer[2]) > (60 - run - 0.5) * hz) closes++
        }
        END { print closes + 0 }'
}

echo "varnel-server load benchmark: $(nproc) cores, ${SECONDS_EACH}s per run, $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "list call: GetForumPostListByColumn column 1, 15 rows, answer $SOAP_SIZE bytes"
echo "poll:      GetMessage of $MEMBERS members signed in from here, in turn (nothing waiting)"
echo "write:     CreatForumReply by $((MEMBERS - MEMBERS / 10)) members to $QUESTIONS questions"
echo "ceiling:   GET $STATIC_PATH, $STATIC_SIZE bytes"
echo "cpu us/call: server utime+stime per call; rss/hwm MB: VmRSS and VmHWM after the run;"
echo "reconn: connections closed and opened again during the run"
[ -z "$TLS" ] || echo "over HTTPS; hs: TLS handshakes during the run (full+resumed), hs/10k: per 10,000 calls"
echo
printf '%-26s %5s %10s %8s %8s %6s %8s %6s %6s %6s' "request" "conns" "calls/s" "p50 ms" "p99 ms" "errors" \
    "cpu us" "rss MB" "hwm MB" "reconn"
[ -z "$TLS" ] && echo || printf ' %6s %6s\n' "hs" "hs/10k"
# The server's handshakes so far (full + resumed), from the line SIGUSR1 prints.
handshakes() {
    reports=$(grep -c '^varnel-server served' "$WORK/stdout" || true)
    kill -USR1 "$SERVER_PID"
    waited=0
    while [ "$(grep -c '^varnel-server served' "$WORK/stdout" || true)" -le "$reports" ] && [ $waited -lt 100 ]; do
        sleep 0.05
        waited=$((waited + 1))
    done
    grep '^varnel-server served' "$WORK/stdout" | tail -n 1 |
        sed -n 's/.*TLS handshakes: \([0-9]*\) full, \([0-9]*\) resumed.*/\1 \2/p' | awk '{ print $1 + $2 }'
}
WRITES_DONE=0
run() { # label script url connections
    threads=$(( $4 < 2 ? 1 : 2 ))
    sleep 1
    [ -z "$TLS" ] || hs_before=$(handshakes)
    ticks_before=$(cpu_ticks)
    line=$(VARNEL_THREADS=$threads VARNEL_CALL_OFFSET=$WRITES_DONE \
        wrk -t"$threads" -c"$4" -d"${SECONDS_EACH}s" --timeout 10s -s "$2" "$3" | grep '^RESULT ')
    ticks_after=$(cpu_ticks)
    [ -z "$TLS" ] || hs_after=$(handshakes)
    # wrk closes its own connections at the end of the run; the others were
    # closed (by the server, or by wrk after an error) and opened again.
    reconnects=$(($(closed_connections) - $4))
    [ "$reconnects" -ge 0 ] || reconnects=0
    set -- "$1" "$4" $line
    # label conns RESULT calls/s p50 p99 errors requests
    requests=$8
    cpu=$(awk -v t=$((ticks_after - ticks_before)) -v hz="$CLOCK_TICKS" -v n="$requests" \
        'BEGIN { printf "%.0f", (n > 0 ? t * 1e6 / hz / n : 0) }')
    memory=$(memory_kb)
    printf '%-26s %5s %10s %8s %8s %6s %8s %6s %6s %6s' "$1" "$2" "$4" "$5" "$6" "$7" "$cpu" \
        $(echo "$memory" | awk '{ printf "%.1f %.1f", $1 / 1024, $2 / 1024 }') "$reconnects"
    if [ -z "$TLS" ]; then
        echo
    else
        printf ' %6s %6s\n' $((hs_after - hs_before)) \
            "$(awk -v h=$((hs_after - hs_before)) -v n="$requests" 'BEGIN { printf "%.2f", (n > 0 ? h * 10000 / n : 0) }')"
    fi
    LAST_REQUESTS=$requests
}
for what in $RUNS; do
    case $what in
    list)
        for c in 1 8 32; do
            run "GetForumPostListByColumn" "$BENCH_DIR/post_list.lua" "$SOAP_URL" "$c"
        done
        ;;
    poll)
        for c in 1 8 32; do
            run "GetMessage" "$BENCH_DIR/get_message.lua" "$SOAP_URL" "$c"
        done
        ;;
    write)
        for c in 1 8 32; do
            run "CreatForumReply" "$BENCH_DIR/creat_reply.lua" "$SOAP_URL" "$c"
            WRITES_DONE=$((WRITES_DONE + LAST_REQUESTS))
        done
        ;;
    static)
        for c in 1 8 32; do
            run "GET $STATIC_PATH" "$BENCH_DIR/static_file.lua" "$BASE$STATIC_PATH" "$c"
        done
        ;;
    *)
        echo "unknown run $what in VARNEL_RUNS (list poll write static)" >&2
        exit 2
        ;;
    esac
done
