#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the local community
# server with its demo community on loopback, the FTP server that takes the
# star experts' custom head images (written into the server's head-image
# folder), and starts the desktop client pointed at both. Closing the client
# stops the servers.
#
# Everything between the client and the community is TLS: the demo makes a
# throw-away certificate authority and a certificate for 127.0.0.1, the
# server speaks HTTPS with it, the FTP server requires explicit TLS, and the
# client trusts that authority (QUILLORA_CA_FILE) besides the system's.
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

# The demo's certificate authority and the site's certificate (127.0.0.1),
# valid for two days; the keys stay in the scratch folder, owner-only.
tls="$work/tls"
mkdir -m 700 "$tls"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj "/CN=Quillora demo CA" \
  -keyout "$tls/ca.key" -out "$tls/ca.pem" 2>> "$tls/openssl.log"
openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj "/CN=127.0.0.1" \
  -keyout "$tls/site.key" -out "$tls/site.csr" 2>> "$tls/openssl.log"
printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n' > "$tls/site.ext"
openssl x509 -req -in "$tls/site.csr" -CA "$tls/ca.pem" -CAkey "$tls/ca.key" -CAcreateserial -days 2 \
  -extfile "$tls/site.ext" -out "$tls/site.pem" 2>> "$tls/openssl.log"
chmod 600 "$tls/ca.key" "$tls/site.key"

# The upload account is the one compiled into the client. Its password goes
# to the FTP server through the environment: on the command line every local
# user could read it.
cache_value() { sed -n "s/^$1:STRING=//p" build/release/CMakeCache.txt; }
ftp_user=$(cache_value QUILLORA_FTP_USER)
mkfifo "$work/ftp.out"
FACE_FTP_PASSWORD="$(cache_value QUILLORA_FTP_PASSWORD)" /usr/bin/python3 scripts/face_ftp_server.py \
  --root "$work/ftp" --user "$ftp_user" --tls-cert "$tls/site.pem" --tls-key "$tls/site.key" \
  --port "${QUILLORA_DEMO_FTP_PORT:-0}" --log "$work/ftp.log" > "$work/ftp.out" &
ftp_pid=$!
read -r ftp_first < "$work/ftp.out"
ftp_port=${ftp_first##*:}
echo "$ftp_first"

mkfifo "$work/server.out"
./build/release/server/varnel-server --demo --port "${QUILLORA_DEMO_PORT:-0}" --db "$work/community.db" \
  --files "$work/ftp/Varnel/Web/images/CustomFace" --log "$work/server.log" \
  --tls-cert "$tls/site.pem" --tls-key "$tls/site.key" > "$work/server.out" &
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
SMTP_SERVER_PASSWORD="${QUILLORA_DEMO_SMTP_PASSWORD:-qm2007}" /usr/bin/python3 scripts/smtp_server.py \
  --port "${QUILLORA_DEMO_SMTP_PORT:-0}" --maildir "$maildir/Maildir" --user "${QUILLORA_DEMO_SMTP_USER:-quillora}" \
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

echo "Starting Quillora against https://127.0.0.1:$port (the server log is $work/server.log)"
QUILLORA_SITE="https://127.0.0.1:$port" QUILLORA_CA_FILE="$tls/ca.pem" QUILLORA_FTP="127.0.0.1:$ftp_port" \
  QUILLORA_SMTP="127.0.0.1:$smtp_port" XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
  XDG_RUNTIME_DIR="$work/runtime" ./build/release/src/app/quillora || true
