#!/usr/bin/env bash
# Installs the Debian packages Telvane needs to build, test and run, only those missing.
# The keyring tests run gnome-keyring in a private D-Bus session (dbus-run-session)
# and read it back with secret-tool.
# Usage: scripts/deps.sh [extra-package ...]
set -euo pipefail
packages=(build-essential cmake pkg-config git
  qt6-base-dev qt6-base-dev-tools libgl-dev libturbojpeg0-dev libjpeg62-turbo-dev
  libgtest-dev libbenchmark-dev
  xvfb xdotool x11-apps fonts-wine fonts-dejavu-core
  libavformat-dev libavcodec-dev libavutil-dev
  ffmpeg imagemagick python3 python3-pil iproute2 util-linux procps
  clang libclang-rt-14-dev
  cups printer-driver-cups-pdf poppler-utils
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring libsecret-tools dbus-daemon dbus-bin
  dpkg-dev desktop-file-utils "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
