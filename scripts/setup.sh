#!/usr/bin/env bash
# Installs the Debian packages that are missing. `setup.sh run` installs what the Linux program
# needs to be built and run; `setup.sh test` (the default) adds the cross compiler, Wine, clang,
# the test tools and what bench/compare_peers.sh compares with.
set -euo pipefail

RUN_PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-wayland libmbedtls-dev nlohmann-json3-dev libarchive-dev libxlsxwriter-dev
  fonttools fonts-ipafont-gothic pci.ids usb.ids
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix wine64 wine
  xvfb xauth x11-utils imagemagick
  clang-14 libclang-rt-14-dev clang-format-14 zip locales chromium
  hyperfine lshw inxi time valgrind python3-cryptography python3-openpyxl poppler-utils
  dpkg-dev libarchive-tools
  ntfs-3g
)

case "${1:-test}" in
  run) PACKAGES=("${RUN_PACKAGES[@]}") ;;
  test) PACKAGES=("${RUN_PACKAGES[@]}" "${TEST_PACKAGES[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# Wine takes the system code page from LANG: 932 needs the ja_JP.UTF-8 locale.
have_ja_locale() { locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; }
# The Windows build makes its libraries from Debian's source packages (cmake/MingwDeps.cmake):
# `apt-get source` needs deb-src entries beside the binary ones.
need_sources() { [ "${1:-test}" = test ] && ! grep -rqs '^\(Types: *\)\?deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; }

if [ ${#missing[@]} -eq 0 ] && have_ja_locale && ! need_sources "${1:-test}"; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "Please install these packages first: ${missing[*]}" >&2
  exit 1
fi
if need_sources "${1:-test}"; then
  echo "Adding Debian's source packages to apt's sources"
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: *deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
      "${SUDO[@]}" tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
  else
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
      "${SUDO[@]}" tee /etc/apt/sources.list.d/debian-src.list >/dev/null
  fi
  "${SUDO[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  "${SUDO[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if ! have_ja_locale; then
  echo "Generating the ja_JP.UTF-8 locale"
  "${SUDO[@]}" sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | "${SUDO[@]}" tee -a /etc/locale.gen >/dev/null
  "${SUDO[@]}" locale-gen >/dev/null
fi
