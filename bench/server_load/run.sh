#!/bin/sh
# Load benchmark of varnel-server: GetForumPostListByColumn calls per second
# and p50/p99 latency at 1, 8 and 32 connections, and the same for a fixed
# page of about the same size from the same server, as the ceiling.
#
# Usage: bench/server_load/run.sh BUILD_DIR [SECONDS]
# Needs Debian's wrk and curl. Builds nothing: BUILD_DIR/server/varnel-server
# must exist. The service account defaults to the compiled-in one; set
# VARNEL_SERVICE_USER / VARNEL_SERVICE_PASSWORD for another build, and
# VARNEL_SERVER to measure another server binary.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
BUILD_DIR=$1
SECONDS_EACH=${2:-10}
SERVER=${VARNEL_SERVER:-$BUILD_DIR/server/varnel-server}
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
[ -x "$SERVER" ] || { echo "no varnel-server at $SERVER" >&2; exit 1; }
command -v wrk >/dev/null || { echo "wrk is not installed (apt-get install wrk)" >&2; exit 1; }

WORK=$(mktemp -d /tmp/varnel-bench-XXXXXX)
SERVER_PID=
cleanup() {
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM

# The demo community, with the request log in a file as in production.
"$SERVER" --demo --port 0 --db "$WORK/community.db" --files "$WORK/files" --log "$WORK/requests.log" \
    >"$WORK/stdout" 2>"$WORK/stderr" &
SERVER_PID=$!
i=0
until grep -q '^varnel-server ready$' "$WORK/stdout" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 300 ] || ! kill -0 "$SERVER_PID" 2>/dev/null; then
        echo "varnel-server did not start:" >&2
        cat "$WORK/stdout" "$WORK/stderr" >&2
        exit 1
    fi
    sleep 0.1
done
BASE=$(head -n 1 "$WORK/stdout" | sed -n 's/^varnel-server listening on \(http:[^ ]*\)$/\1/p')
[ -n "$BASE" ] || { echo "unexpected first line: $(head -n 1 "$WORK/stdout")" >&2; exit 1; }
HOST=$(echo "$BASE" | sed 's|^http://||; s|:[0-9]*$||; s|^\[||; s|\]$||')

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
STATUS=$(curl -s -o "$WORK/answer.xml" -w '%{http_code}' -H 'Content-Type: text/xml; charset=utf-8' \
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
    size=$(curl -s -o /dev/null -w '%{size_download}' "$BASE$path")
    diff=$((size > SOAP_SIZE ? size - SOAP_SIZE : SOAP_SIZE - size))
    if [ -z "$best" ] || [ "$diff" -lt "$best" ]; then
        best=$diff
        STATIC_PATH=$path
        STATIC_SIZE=$size
    fi
done

echo "varnel-server load benchmark: $(nproc) cores, ${SECONDS_EACH}s per run, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "list call: GetForumPostListByColumn column 1, 15 rows, answer $SOAP_SIZE bytes"
echo "ceiling:   GET $STATIC_PATH, $STATIC_SIZE bytes"
echo
printf '%-28s %5s %12s %10s %10s %8s\n' "request" "conns" "requests/s" "p50 ms" "p99 ms" "errors"
run() { # label script url connections
    threads=$(( $4 < 2 ? 1 : 2 ))
    line=$(wrk -t"$threads" -c"$4" -d"${SECONDS_EACH}s" --timeout 10s -s "$2" "$3" | grep '^RESULT ')
    set -- "$1" "$4" $line
    printf '%-28s %5s %12s %10s %10s %8s\n' "$1" "$2" "$4" "$5" "$6" "$7"
}
for c in 1 8 32; do
    run "GetForumPostListByColumn" "$BENCH_DIR/post_list.lua" "$SOAP_URL" "$c"
done
for c in 1 8 32; do
    run "GET $STATIC_PATH" "$BENCH_DIR/static_file.lua" "$BASE$STATIC_PATH" "$c"
done
