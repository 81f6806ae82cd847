#!/usr/bin/env bash
# Checks the built Debian packages: their contents and dependencies, the
# desktop files, the service unit and the manual pages, then installs them
# into this machine with dpkg, runs the installed programs from their
# installed paths (the server as the unit would run it, with the demo
# community) and removes them again.
#   bash tests/packaging/check_packages.sh DIR_WITH_DEBS
# Needs root (dpkg -i). Prints "time from dpkg -i to a serving server".
set -euo pipefail
dir=$(cd "${1:?usage: check_packages.sh DIR_WITH_DEBS}" && pwd)
client=$(ls "$dir"/quillora_*.deb)
server=$(ls "$dir"/varnel-server_*.deb)
work=$(mktemp -d /tmp/quillora-packages.XXXXXX)
installed_here=0
server_pid=""
failures=0

cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  if [ "$installed_here" = 1 ]; then
    dpkg --purge quillora varnel-server >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
expect_eq() { # name expected actual
  [ "$2" = "$3" ] || fail "$1: expected '$2', got '$3'"
}

echo "== contents"
dpkg-deb -c "$client" | awk '{print $6}' | sed 's|^\./|/|' | sort > "$work/client.list"
dpkg-deb -c "$server" | awk '{print $6}' | sed 's|^\./|/|' | sort > "$work/server.list"
for f in /usr/bin/quillora /usr/bin/varnel-call \
  /usr/share/applications/org.kestova.Quillora.desktop \
  /usr/share/metainfo/org.kestova.Quillora.metainfo.xml \
  /usr/share/man/man1/quillora.1.gz /usr/share/man/man1/varnel-call.1.gz \
  /usr/share/doc/quillora/copyright /usr/share/doc/quillora/changelog.Debian.gz; do
  grep -qx "$f" "$work/client.list" || fail "quillora lacks $f"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qx "/usr/share/icons/hicolor/${size}x${size}/apps/org.kestova.Quillora.png" "$work/client.list" ||
    fail "quillora lacks the ${size}px icon"
done
for f in /usr/bin/varnel-server /usr/lib/systemd/system/varnel-server.service \
  /etc/varnel-server/varnel-server.conf /etc/logrotate.d/varnel-server \
  /usr/share/man/man1/varnel-server.1.gz /usr/share/doc/varnel-server/copyright \
  /usr/share/doc/varnel-server/changelog.Debian.gz; do
  grep -qx "$f" "$work/server.list" || fail "varnel-server lacks $f"
done
# Each program is in exactly one package; nothing of the build or tests leaks in.
grep -q 'varnel-server$' "$work/client.list" && fail "quillora carries the server"
grep -q -e 'quillora$' -e 'varnel-call$' "$work/server.list" && fail "varnel-server carries the client"
grep -E '\.(a|h|cmake)$|/test|/bench|/src/' "$work/client.list" "$work/server.list" && fail "build files in a package"
expect_eq "conffiles" "$(printf '/etc/logrotate.d/varnel-server\n/etc/varnel-server/varnel-server.conf')" \
  "$(dpkg-deb -I "$server" conffiles | sort)"

echo "== dependencies (dpkg-shlibdeps)"
client_deps=$(dpkg-deb -f "$client" Depends)
server_deps=$(dpkg-deb -f "$server" Depends)
echo "quillora: $client_deps"
echo "varnel-server: $server_deps"
for lib in libqt6core6 libqt6widgets6 libqt6webenginewidgets6 libcurl4 libnettle8 libc6; do
  [[ "$client_deps" == *"$lib"* ]] || fail "quillora does not depend on $lib"
done
for lib in libqt6core6 libsqlite3-0 libc6; do
  [[ "$server_deps" == *"$lib"* ]] || fail "varnel-server does not depend on $lib"
done
[[ "$server_deps" == *libqt6widgets6* ]] && fail "varnel-server depends on the widget library"
expect_eq "version" "3.5.0.1-1" "$(dpkg-deb -f "$client" Version)"

echo "== desktop entry, metainfo, manual pages"
mkdir -p "$work/client" "$work/server"
dpkg-deb -x "$client" "$work/client"
dpkg-deb -x "$server" "$work/server"
desktop-file-validate "$work/client/usr/share/applications/org.kestova.Quillora.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/client/usr/share/metainfo/org.kestova.Quillora.metainfo.xml" >/dev/null ||
  fail "metainfo"
for page in "$work"/client/usr/share/man/man1/*.gz "$work"/server/usr/share/man/man1/*.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "manual page $(basename "$page"): $warnings"
done
icon48=$(identify -format '%wx%h' "$work/client/usr/share/icons/hicolor/48x48/apps/org.kestova.Quillora.png")
expect_eq "48px icon size" "48x48" "$icon48"

echo "== install (dpkg -i)"
if dpkg-query -W -f='${Status}' quillora 2>/dev/null | grep -q "ok installed" ||
  dpkg-query -W -f='${Status}' varnel-server 2>/dev/null | grep -q "ok installed"; then
  echo "quillora or varnel-server is installed on this machine already; not touching it" >&2
  exit 1
fi
start=$(date +%s.%N)
installed_here=1
dpkg -i "$client" "$server" >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; exit 1; }
installed=$(date +%s.%N)
printf 'dpkg -i of both packages: %.1f s\n' "$(echo "$installed - $start" | bc)"
expect_eq "installed" "install ok installed" "$(dpkg-query -W -f='${Status}' varnel-server)"

# The installed programs from their installed paths; --version needs no display.
expect_eq "quillora --version" "quillora 3.5.0.1" \
  "$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM /usr/bin/quillora --version)"
expect_eq "varnel-server --version" "varnel-server 3.5.0.1" "$(/usr/bin/varnel-server --version)"
expect_eq "varnel-call --version" "varnel-call 3.5.0.1" "$(/usr/bin/varnel-call --version)"
expect_eq "varnel-call --list" "30" "$(/usr/bin/varnel-call --list | wc -l)"
env -u DISPLAY /usr/bin/quillora --help | grep -q '^usage: quillora' || fail "quillora --help"

# The installed server reads the installed configuration; the paths the
# unit's directories would provide are moved into a scratch folder here.
mkdir -p "$work/state"
/usr/bin/varnel-server --config /etc/varnel-server/varnel-server.conf --port 0 --demo \
  --db "$work/state/community.db" --files "$work/state/files" --log "$work/requests.log" \
  >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 1 300); do
  grep -q '^varnel-server ready$' "$work/server.out" && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
grep -q '^varnel-server ready$' "$work/server.out" || { cat "$work/server.out"; fail "installed server did not start"; }
port=$(head -1 "$work/server.out" | sed 's/.*://')
answer=$(/usr/bin/varnel-call --endpoint "http://127.0.0.1:$port/Varnel/Web/Services/VarnelServices.asmx" \
  IsUserExistsByName userName=bob)
ready=$(date +%s.%N)
[[ "$answer" == *"true"* ]] || fail "demo member not found through the installed programs: $answer"
printf 'time from dpkg -i to a serving server with the demo community: %.1f s\n' "$(echo "$ready - $start" | bc)"
grep -q 'IsUserExistsByName' "$work/requests.log" || fail "the request log names no call"

echo "== service unit and log rotation"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify /usr/lib/systemd/system/varnel-server.service || fail "systemd-analyze verify"
fi
if command -v logrotate >/dev/null; then
  logrotate -d /etc/logrotate.d/varnel-server >"$work/logrotate.out" 2>&1 || {
    cat "$work/logrotate.out"
    fail "logrotate configuration"
  }
fi

echo "== removal"
kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
server_pid=""
dpkg --purge quillora varnel-server >/dev/null
installed_here=0
[ ! -e /usr/bin/quillora ] || fail "purge left /usr/bin/quillora"
[ ! -e /etc/varnel-server/varnel-server.conf ] || fail "purge left the configuration"

if [ "$failures" -gt 0 ]; then
  echo "package check: $failures failure(s)"
  exit 1
fi
echo "package check: passed"
