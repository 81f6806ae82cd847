#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the demo and the tests need,
# when any is missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang-14 libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6svg6 qt6-webengine-dev qt6-pdf-dev
  libcurl4-openssl-dev libgnutls28-dev openssl libssl-dev nettle-dev libcpp-httplib-dev libsqlite3-dev
  postgresql libpq-dev haproxy
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-zeep python3-aiosmtpd python3-pyftpdlib python3-openssl
  xvfb xauth xdotool imagemagick wrk procps
  tinyproxy microsocks
  desktop-file-utils appstream lintian logrotate bc man-db systemd
  unrtf poppler-utils
  dbus at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
