#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the local community
# server with its demo community on loopback, the FTP server that takes the
# star experts' custom head images (written into the server's head-image
# folder), and starts the desktop client pointed at both. Closing the client
# stops the servers.
#
# The demo keeps its data and the client's per-user files in a scratch
# folder, so every run starts fresh (no remembered member). Without a
# display it starts a virtual one (Xvfb) and says how to look at it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
bash scripts/build.sh build/release

work=$(mktemp -d /tmp/quillora-demo.XXXXXX)
server_pid=""
ftp_pid=""
smtp_pid=""
xvfb_pid=""
maildir=$(mktemp -d /tmp/quillora-mail.XXXXXX)
# Stops one of the demo's processes and waits for it. The status of a killed
# process is not a failure of the clean-up: every step runs whatever the one
# before it returned.
stop() {
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}
cleanup() {
  trap - EXIT INT TERM
  set +e
  stop "$server_pid"
  stop "$ftp_pid"
  stop "$smtp_pid"
  echo "Mail sent from the client is in the Maildir $maildir/Maildir (new/ holds one file per mail)."
  stop "$xvfb_pid"
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

mkdir -m 700 "$work/runtime"

# The upload account is the one compiled into the client.
cache_value() { sed -n "s/^$1:STRING=//p" build/release/CMakeCache.txt; }
ftp_user=$(cache_value QUILLORA_FTP_USER)
ftp_password=$(cache_value QUILLORA_FTP_PASSWORD)
mkfifo "$work/ftp.out"
/usr/bin/python3 scripts/face_ftp_server.py --root "$work/ftp" --user "$ftp_user" --password "$ftp_password" \
  --port "${QUILLORA_DEMO_FTP_PORT:-0}" --log "$work/ftp.log" > "$work/ftp.out" &
ftp_pid=$!
read -r ftp_first < "$work/ftp.out"
ftp_port=${ftp_first##*:}
echo "$ftp_first"

mkfifo "$work/server.out"
./build/release/server/varnel-server --demo --port "${QUILLORA_DEMO_PORT:-0}" --db "$work/community.db" \
  --files "$work/ftp/Varnel/Web/images/CustomFace" --log "$work/server.log" > "$work/server.out" &
server_pid=$!
exec 3< "$work/server.out"
read -r first <&3
port=${first##*:}
echo "$first"
while read -r line <&3; do
  echo "$line"
  [ "$line" = "varnel-server ready" ] && break
done
cat <&3 > /dev/null &

# The mail server, with the account compiled into the client by default.
mkfifo "$work/smtp.out"
/usr/bin/python3 scripts/smtp_server.py --port "${QUILLORA_DEMO_SMTP_PORT:-0}" --maildir "$maildir/Maildir" \
  --user "${QUILLORA_DEMO_SMTP_USER:-quillora}" --password "${QUILLORA_DEMO_SMTP_PASSWORD:-qm2007}" \
  > "$work/smtp.out" 2> "$work/smtp.log" &
smtp_pid=$!
exec 4< "$work/smtp.out"
read -r smtp_line <&4
smtp_port=${smtp_line##*:}
echo "$smtp_line (Maildir $maildir/Maildir)"
cat <&4 > /dev/null &

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export DISPLAY=:77
  Xvfb "$DISPLAY" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  sleep 1
  echo "No display: the client runs on the virtual display $DISPLAY."
  echo "Look at it with: DISPLAY=$DISPLAY import -window root /tmp/quillora.png"
fi

# The web engine's sandbox cannot run as root (containers, CI); everyone else keeps it.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi

echo "Starting Quillora against http://127.0.0.1:$port (the server log is $work/server.log)"
QUILLORA_SITE="127.0.0.1:$port" QUILLORA_FTP="127.0.0.1:$ftp_port" QUILLORA_SMTP="127.0.0.1:$smtp_port" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/runtime" ./build/release/src/app/quillora || true
