#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks, the fuzzers
# and the demo need. Idempotent; `--check` only reports whether anything is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake make pkg-config git
  libgtest-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev zlib1g-dev
  clang libclang-rt-14-dev clang-format
  time bc
  ghostscript librsvg2-bin
  # The desktop program and its tests: Qt 6 Widgets, a virtual display to
  # run it under, a way to drive it, and a font to draw its texts.
  qt6-base-dev xvfb xauth xdotool fonts-dejavu-core
  # Installing and packaging: checking the desktop entry and the MIME type,
  # and dpkg-shlibdeps for the package's dependencies.
  desktop-file-utils libxml2-utils shared-mime-info dpkg-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${1:-}" = "--check" ]; then
  if [ ${#missing[@]} -gt 0 ]; then
    echo "missing packages: ${missing[*]}"
    exit 1
  fi
  exit 0
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
