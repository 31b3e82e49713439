#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running the program need, when any is missing.
# Uses sudo when not run as root. Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  # build
  cmake make g++ pkg-config ccache
  # the format check of CI
  clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgpgme-dev libgpg-error-dev
  # the Japanese monospace face is looked up through fontconfig
  libfontconfig-dev
  # run
  libqt6printsupport6 qt6-qpa-plugins qt6-translations-l10n
  gnupg gpg-agent pinentry-qt pinentry-curses
  fonts-noto-cjk
  # tests, screenshots and the Debian package
  xvfb xauth xdotool imagemagick
  # a window manager for the tests of window placement under Xvfb
  openbox
  util-linux poppler-utils
  # saving tests: ACLs and extended attributes (setfacl, getfacl, setfattr), users made by the tests
  acl attr passwd
  # input method tests: a real fcitx5 with a Japanese engine and its Qt 6 front end, in a D-Bus session of their own
  fcitx5 fcitx5-anthy fcitx5-frontend-qt6 dbus-daemon
  # accessibility tests: the AT-SPI bus and its Python client
  at-spi2-core python3-pyatspi
  # benchmarks
  libbenchmark-dev
  desktop-file-utils appstream dpkg-dev file librsvg2-bin
  # the Debian package: debhelper builds it, lintian checks it, man-db shows its manual page
  debhelper fakeroot lintian man-db locales
  # OpenPGP interoperability tests: two independent implementations besides GnuPG
  rnp sq
  # fuzzing (clang with its libFuzzer and sanitizer runtimes)
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The Japanese locale, in which man shows the Japanese manual page.
if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  $SUDO localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
