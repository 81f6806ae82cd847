#!/bin/sh
# Soak of varnel-server under attack: for SECONDS (default 60), members signed
# in from 127.0.0.1 make the client's calls while hostile callers on other
# loopback addresses ask for thousands of ranges, send endless header lines,
# post envelopes with 140,000 attributes and hold kept-alive connections open
# (abuse.py says how). Prints the members' calls answered, p50/p99 and errors,
# and the server's peak resident memory and CPU time.
#
# Usage: bench/server_load/abuse.sh BUILD_DIR [SECONDS]
# Needs python3. Builds nothing: BUILD_DIR/server/varnel-server must exist
# (VARNEL_SERVER measures another binary). The server runs with its address
# space capped at VARNEL_ABUSE_MEMORY_MB (default 4096) so that a server that
# lets a caller grow it fails alone instead of taking the machine's memory.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [SECONDS]" >&2
    exit 2
fi
BUILD_DIR=$1
SOAK_SECONDS=${2:-60}
SERVER=${VARNEL_SERVER:-$BUILD_DIR/server/varnel-server}
BENCH_DIR=$(cd "$(dirname "$0")" && pwd)
. "$BENCH_DIR/server_ready.sh"
MEMORY_MB=${VARNEL_ABUSE_MEMORY_MB:-4096}
[ -x "$SERVER" ] || { echo "no varnel-server at $SERVER" >&2; exit 1; }

scratch_folder varnel-abuse

# Limits as run.sh has them (prepare.py registers many members from one
# address), the answers' limit high enough for the 70 answers of the big
# question page, and no limit on messages (the members send hundreds).
(
    ulimit -v $((MEMORY_MB * 1024))
    exec "$SERVER" --demo --port 0 --db "$WORK/community.db" --files "$WORK/files" --log "$WORK/requests.log" \
        --max-registrations 0 --max-questions 0 --max-answers 1000000 --max-messages 0 --start-points 1000000
) >"$WORK/stdout" 2>"$WORK/stderr" &
SERVER_PID=$!
server_ready "$WORK/stdout" "$WORK/stderr" "$SERVER_PID"
BASE=$SITE_BASE
HOST=$(echo "$BASE" | sed 's|^https\{0,1\}://||; s|:[0-9]*$||; s|^\[||; s|\]$||')

DATA="$WORK/bench_data.lua"
/usr/bin/python3 "$BENCH_DIR/prepare.py" "$BASE" "$HOST" 40 20 "$DATA"

echo "varnel-server abuse soak: $(nproc) cores, ${SOAK_SECONDS}s, $(date -u '+%Y-%m-%d %H:%M UTC'), load $(cut -d' ' -f1-3 /proc/loadavg), address space ${MEMORY_MB} MB"
status=0
/usr/bin/python3 "$BENCH_DIR/abuse.py" "$BASE" "$HOST" "$SERVER_PID" "$DATA" "$SOAK_SECONDS" || status=$?
if ! kill -0 "$SERVER_PID" 2>/dev/null; then
    wait "$SERVER_PID" 2>/dev/null && code=0 || code=$?
    SERVER_PID=
    echo "varnel-server ended with status $code; the end of its standard error:"
    tail -n 5 "$WORK/stderr"
fi
exit $status
