# Shared by scripts/run and scripts/test: packages, build.
# shellcheck shell=bash

OMBRY_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
OMBRY_BUILD=${OMBRY_BUILD:-$OMBRY_ROOT/build}

# What building and running need (./scripts/run).
OMBRY_PACKAGES=(
  # toolchain
  cmake g++ ninja-build pkg-config ca-certificates
  # Qt 6.4 and QCoro
  qt6-base-dev qt6-base-dev-tools qt6-declarative-dev qt6-declarative-dev-tools qt6-multimedia-dev
  qt6-speech-dev qt6-svg-dev qt6-5compat-dev qt6-qpa-plugins qcoro-qt6-dev
  qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
  qml6-module-qtquick-shapes qml6-module-qtquick-window qml6-module-qtquick-templates
  qml6-module-qtquick-dialogs qml6-module-qt-labs-platform
  qml6-module-qtqml qml6-module-qtqml-workerscript qml6-module-qt5compat-graphicaleffects
  qml6-module-qtmultimedia libqt6svg6
  qt6-speech-speechd-plugin speech-dispatcher speech-dispatcher-espeak-ng
  # Qt's own texts in French, and the desktop's file dialog through its portal
  qt6-translations-l10n qt6-xdgdesktopportal-platformtheme
  # X11, accessibility, sound, language detection, signatures, archives
  libx11-dev libxi-dev libxtst-dev libxfixes-dev libatspi2.0-dev at-spi2-core dbus dbus-x11
  libpulse-dev libcld2-dev libsodium-dev libarchive-dev
  # Wayland sessions: the client library and the scanner of its protocols
  libwayland-dev libwayland-bin
  fonts-dejavu-core fonts-material-design-icons-iconfont hicolor-icon-theme
)

# What the tests add (./scripts/test): the private desktop and its fixtures.
OMBRY_TEST_PACKAGES=(
  qt6-httpserver-dev qml6-module-qttest
  xvfb xauth openbox x11-utils pulseaudio pulseaudio-utils espeak-ng sox xdotool xclip
  desktop-file-utils xterm trayer mousepad lxterminal
  # the Wayland desktop (scripts/session --wayland) and its native applications
  sway xwayland x11-xserver-utils foot gedit wtype
)

ombry_missing_packages() {
  local pkg missing=()
  for pkg in "$@"; do
    if [ "$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null)" != "install ok installed" ]; then
      missing+=("$pkg")
    fi
  done
  echo "${missing[@]}"
}

# ombry_ensure_packages [test]: what running needs, and with "test" the test rig too.
ombry_ensure_packages() {
  local missing sudo=() wanted=("${OMBRY_PACKAGES[@]}")
  [ "${1:-}" = test ] && wanted+=("${OMBRY_TEST_PACKAGES[@]}")
  missing=$(ombry_missing_packages "${wanted[@]}")
  [ -z "$missing" ] && return 0
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  echo "Installing: $missing"
  # shellcheck disable=SC2086
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

ombry_build() {
  local type=${OMBRY_BUILD_TYPE:-RelWithDebInfo}
  if [ ! -f "$OMBRY_BUILD/build.ninja" ]; then
    cmake -S "$OMBRY_ROOT" -B "$OMBRY_BUILD" -G Ninja -DCMAKE_BUILD_TYPE="$type" >/dev/null
  fi
  cmake --build "$OMBRY_BUILD" --parallel "$(nproc)" "$@"
}
