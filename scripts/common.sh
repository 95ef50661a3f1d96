# Shared set-up of ./scripts/run, ./scripts/test and ./scripts/bench: installs the
# Debian packages that are missing, then configures and builds into build/.
# Sourced, not run.

TAVOX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

TAVOX_PACKAGES=(
  cmake g++ make pkg-config
  qtbase5-dev qtbase5-private-dev qtdeclarative5-dev qtdeclarative5-dev-tools qtdeclarative5-private-dev qtquickcontrols2-5-dev libqt5serialport5-dev
  qml-module-qtquick2 qml-module-qtquick-controls2 qml-module-qtquick-templates2
  qml-module-qtquick-layouts qml-module-qtquick-window2 qml-module-qtqml-models2
  qml-module-qttest qttranslations5-l10n
  fonts-noto-cjk
  xvfb xauth libx11-dev
  at-spi2-core python3-pyatspi python3-gi dbus-daemon x11-utils
  clang libclang-rt-14-dev
  dpkg-dev debhelper lintian diffoscope-minimal appstream desktop-file-utils man-db libqt5svg5
  libzip-dev unzip
  tshark
)

tavox_missing_packages() {
  local missing=()
  for pkg in "${TAVOX_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  echo "${missing[@]}"
}

tavox_install_packages() {
  local missing
  missing=$(tavox_missing_packages)
  [ -z "$missing" ] && return 0
  echo "Installing missing packages: $missing"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  # Wireshark's package would ask whether ordinary users may capture; the tests only read files.
  echo "wireshark-common wireshark-common/install-setuid boolean false" | "${sudo[@]}" debconf-set-selections
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends $missing
}

# tavox_build DIR [cmake options...] [-- targets...]
tavox_build() {
  local dir=$1; shift
  local options=() targets=()
  while [ $# -gt 0 ] && [ "$1" != "--" ]; do options+=("$1"); shift; done
  [ "${1:-}" = "--" ] && shift && targets=("$@")
  cmake -S "$TAVOX_ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}" >/dev/null
  if [ ${#targets[@]} -gt 0 ]; then
    cmake --build "$dir" -j"$(nproc)" --target "${targets[@]}"
  else
    cmake --build "$dir" -j"$(nproc)"
  fi
}
