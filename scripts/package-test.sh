#!/usr/bin/env bash
# Builds the Debian package of Telvane4 in a configured build folder (building the
# program first when needed), and checks what it holds with dpkg-deb: the command, the program, the desktop
# entry and icons, the declared dependencies, and nothing but the program.
#
# With TELVANE_PACKAGE_INSTALL_TEST=1, as root with apt, it then installs the
# package (offline: scripts/deps.sh has installed every dependency), starts the
# installed telvane4 under Xvfb against the recorder simulator on 127.0.0.1 with
# private settings, data and runtime folders, checks that it logged in and asked
# for live pictures and that it works in the private data folder (not beside the
# executable), writes a screenshot, and removes the package again. A machine where
# a package "telvane" is already installed is left alone.
#
# Usage: scripts/package-test.sh [build folder]    (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
builddir=$(cd "${1:-build}" && pwd)
version=$(awk -F= '/^CMAKE_PROJECT_VERSION:/{print $2}' "$builddir/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb="$builddir/package/telvane_${version}_${arch}.deb"

fail() {
  echo "package-test: FAILED: $*" >&2
  exit 1
}

# ---- build and inspect the package -------------------------------------------------
cmake --build "$builddir" --target telvane >/dev/null || fail "building the program"
rm -f "$builddir"/package/telvane_*.deb
(cd "$builddir" && cpack -G DEB -B "$builddir/package" >"$builddir/package-cpack.log" 2>&1) ||
  { cat "$builddir/package-cpack.log" >&2; fail "cpack"; }
[ -f "$deb" ] || fail "no $deb"
echo "package-test: built $(basename "$deb") ($(stat -c %s "$deb") bytes)"

contents=$(dpkg-deb -c "$deb")
has() { grep -Eq "$1" <<<"$contents" || fail "the package lacks $2"; }
has ' \./usr/bin/telvane4 -> \.\./lib/telvane/Telvane4$' "the command /usr/bin/telvane4"
has '^-rwxr-xr-x .* \./usr/lib/telvane/Telvane4$' "the program"
has ' \./usr/share/applications/telvane4\.desktop$' "the desktop entry"
has ' \./usr/share/icons/hicolor/48x48/apps/telvane4\.png$' "the 48 x 48 icon"
has ' \./usr/share/icons/hicolor/256x256/apps/telvane4\.png$' "the 256 x 256 icon"
if grep -Ei 'recorder-sim|skin-gen|/test_|bench|fuzz' <<<"$contents"; then
  fail "the package holds more than the program"
fi
[ "$(dpkg-deb -f "$deb" Package)" = telvane ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version"
depends=$(dpkg-deb -f "$deb" Depends)
for dep in libqt6widgets6 libqt6printsupport6 'libturbojpeg0|libjpeg62-turbo' libavformat \
  qt6-qpa-plugins fonts-dejavu-core libqt6keychain1 libsecret-1-0; do
  grep -Eq "(^|, )($dep)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done
echo "package-test: Depends: $depends"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/telvane-package.XXXXXX")
chmod 755 "$scratch"
pids=()
installed=0
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "$installed" -eq 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq telvane >/dev/null 2>&1 ||
      echo "package-test: WARNING: could not remove the package telvane" >&2
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

dpkg-deb -x "$deb" "$scratch/unpacked"
if command -v desktop-file-validate >/dev/null 2>&1; then
  desktop-file-validate "$scratch/unpacked/usr/share/applications/telvane4.desktop" ||
    fail "desktop entry"
fi
echo "package-test: contents and fields as expected"

# ---- install and run it, where the machine allows -----------------------------------
if [ "${TELVANE_PACKAGE_INSTALL_TEST:-}" != 1 ]; then
  echo "package-test: install part skipped (set TELVANE_PACKAGE_INSTALL_TEST=1 to run it)"
  exit 0
fi
# Root in a user namespace is no root of the package database.
if [ "$(id -u)" -ne 0 ] || [ ! -w /var/lib/dpkg ] || ! command -v apt-get >/dev/null 2>&1; then
  echo "package-test: install part skipped (needs root and apt)"
  exit 0
fi
if dpkg-query -W -f='${Status}' telvane 2>/dev/null | grep -q "install ok installed"; then
  echo "package-test: install part skipped (a package telvane is installed already)"
  exit 0
fi

# Every dependency is installed already (scripts/deps.sh); in the tests' private
# network namespace there is nothing to fetch from anyway.
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >"$scratch/apt.log" 2>&1 || { cat "$scratch/apt.log" >&2; fail "apt-get install"; }
installed=1
[ -x /usr/bin/telvane4 ] || fail "/usr/bin/telvane4 after installing"
program_files_before=$(ls -A /usr/lib/telvane)

cmake --build "$builddir" --target telvane-recorder-sim >/dev/null || fail "building the simulator"
mkdir -p "$scratch/config/Telvane" "$scratch/data" "$scratch/runtime" "$scratch/start"
chmod 700 "$scratch/runtime"
"$builddir/bin/telvane-recorder-sim" --listen 127.0.0.1 --port 0 --log "$scratch/sim.log" \
  >"$scratch/sim.out" 2>"$scratch/sim.err" &
pids+=($!)
for _ in $(seq 100); do
  grep -q '^LISTENING ' "$scratch/sim.out" 2>/dev/null && break
  sleep 0.1
done
port=$(awk '/^LISTENING /{print $2; exit}' "$scratch/sim.out")
[ -n "$port" ] || { cat "$scratch/sim.err" >&2; fail "the simulator did not start"; }
printf '[Setting]\nHost%%20IPAddress=127.0.0.1\nHost%%20Port=%s\n' "$port" \
  >"$scratch/config/Telvane/Telvane4.conf"

. "$root/scripts/xvfb.sh"
start_xvfb 200 249 "$scratch/xvfb.log" || fail "Xvfb"
(cd "$scratch/start" && exec env DISPLAY="$display" QT_QPA_PLATFORM=xcb \
  XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data" \
  XDG_RUNTIME_DIR="$scratch/runtime" TELVANE_AUTOCONNECT=1 telvane4) \
  >"$scratch/client.log" 2>&1 &
client=$!
pids+=("$client")

for _ in $(seq 150); do
  kill -0 "$client" 2>/dev/null || { cat "$scratch/client.log" >&2; fail "telvane4 ended early"; }
  grep -q '"COMMAND_LIVE"' "$scratch/sim.log" 2>/dev/null && break
  sleep 0.1
done
grep -q '"COMMAND_LOGIN"' "$scratch/sim.log" || fail "telvane4 did not log in"
grep -q '"COMMAND_LIVE"' "$scratch/sim.log" || fail "telvane4 did not ask for live pictures"
echo "package-test: the installed telvane4 logged in and asks for live pictures"

# Where it keeps its files: the record folder in the data folder, which is also its
# current folder (where "ini/cnn.ini" and "AlarmEvent.am" go); nothing beside the
# executable or in the folder it was started from.
data="$scratch/data/Telvane"
[ -d "$data/Backup" ] || fail "no record folder $data/Backup"
[ "$(readlink "/proc/$client/cwd")" = "$data" ] ||
  fail "current folder $(readlink "/proc/$client/cwd"), not $data"
[ "$(ls -A /usr/lib/telvane)" = "$program_files_before" ] || fail "files beside the executable"
[ ! -e /usr/bin/Backup ] || fail "/usr/bin/Backup"
[ -z "$(ls -A "$scratch/start")" ] || fail "files in the start folder"
echo "package-test: record folder and current folder in $data"

sleep 2  # pictures on screen for the screenshot
shot="$builddir/package-test.png"
import -display "$display" -window root -crop 877x685+201+169 +repage "$shot" 2>/dev/null &&
  echo "package-test: screenshot $shot"
kill "$client"
wait "$client" 2>/dev/null || true
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq telvane >"$scratch/apt.log" 2>&1 ||
  { cat "$scratch/apt.log" >&2; fail "apt-get remove"; }
installed=0
[ ! -e /usr/bin/telvane4 ] && [ ! -e /usr/lib/telvane ] || fail "files left after removing"
echo "package-test: installed, ran and removed the package"
