# Sourced by the load scripts: their scratch folder and the server's start.

# scratch_folder NAME: WORK, a fresh folder /tmp/NAME-XXXXXX, removed when
# the script ends, with the server started as SERVER_PID stopped first.
scratch_folder() {
    WORK=$(mktemp -d "/tmp/$1-XXXXXX")
    SERVER_PID=
    trap scratch_cleanup EXIT INT TERM
}
scratch_cleanup() {
    if [ -n "$SERVER_PID" ]; then
        kill "$SERVER_PID" 2>/dev/null || true
        wait "$SERVER_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}

# server_ready STDOUT STDERR PID [TENTHS]: waits
# until the varnel-server PID, writing to the files STDOUT and STDERR, says it
# is ready (at most TENTHS tenths of a second, 300 unless given), then sets
# SITE_BASE to the address it listens on (http://host:port, or https://).
# A server that ends or does not become ready in time stops the script with
# its output.
server_ready() {
    _tries=0
    until grep -q '^varnel-server ready$' "$1" 2>/dev/null; do
        _tries=$((_tries + 1))
        if [ "$_tries" -gt "${4:-300}" ] || ! kill -0 "$3" 2>/dev/null; then
            echo "varnel-server did not start:" >&2
            cat "$1" "$2" >&2
            exit 1
        fi
        sleep 0.1
    done
    SITE_BASE=$(head -n 1 "$1" | sed -n 's/^varnel-server listening on \(https\{0,1\}:[^ ]*\)$/\1/p')
    [ -n "$SITE_BASE" ] || { echo "unexpected first line: $(head -n 1 "$1")" >&2; exit 1; }
}
