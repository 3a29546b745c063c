#!/usr/bin/env bash
# Installs every Debian package the project needs to build, test, fuzz and
# benchmark. Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  # toolchain
  build-essential g++ cmake ninja-build pkg-config git
  # clang with libFuzzer and the sanitizer runtimes
  clang libclang-rt-14-dev
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev libpugixml-dev
  # Qt 6: Widgets, PrintSupport, DBus, Network, Test (base) and Multimedia
  qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimedia6
  # BlueZ: SDP client declarations (the library is loaded at run time), and
  # a private bus with python-dbusmock's bluez5 template for the tests
  libbluetooth-dev dbus python3-dbusmock
  # the media backend's decoders (WAV, AU, MP3) for the alarm sounds
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  # vendor registry, only for regenerating res/vendors.xml
  ieee-data
  # Bluetooth company identifiers and service UUID names, only for
  # regenerating the tables of src/core/refdata (tools/gen_bt_tables.py)
  python3-bleak
  # build cache shared by the presets
  ccache
  # a virtual display for the window's end-to-end test and the screenshots,
  # keyboard input to it, and the screen grab turned into a PNG; printing:
  # metric-compatible Arial and Times New Roman, and PDF to text and images
  # for the print tests
  xvfb xauth xdotool x11-utils imagemagick fonts-liberation2 poppler-utils
  # desktop integration: icon rendering (tools/gen_icons.sh), validators and
  # the Debian package's checks
  librsvg2-bin desktop-file-utils appstream lintian
  # fleet publishing over MQTT: the client library, a JSON parser for the
  # collector, the broker the fleet tests and benchmark start on loopback and
  # its command-line clients, which play a misbehaving monitor in the tests
  # (openssl makes the TLS test's certificates)
  libmosquitto-dev nlohmann-json3-dev mosquitto mosquitto-clients openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
