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
  # A locale with a decimal comma, so that the tests proving that files
  # write numbers with a point run instead of skipping.
  locales
)
COMMA_LOCALE=de_DE.UTF-8

comma_locale_present() {
  locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'
}

# Generates the comma locale unless it is there; also when the package was
# installed before.
ensure_comma_locale() {
  comma_locale_present && return 0
  echo "install-deps: generating the locale $COMMA_LOCALE"
  if [ -f /etc/locale.gen ] && grep -q "^# *$COMMA_LOCALE UTF-8" /etc/locale.gen; then
    $SUDO sed -i "s/^# *\($COMMA_LOCALE UTF-8\)/\1/" /etc/locale.gen
  elif ! grep -q "^$COMMA_LOCALE UTF-8" /etc/locale.gen 2>/dev/null; then
    echo "$COMMA_LOCALE UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen
}

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ "${1:-}" = "--check" ]; then
  status=0
  if [ ${#missing[@]} -gt 0 ]; then
    echo "missing packages: ${missing[*]}"
    status=1
  fi
  if ! comma_locale_present; then
    echo "missing locale: $COMMA_LOCALE"
    status=1
  fi
  exit $status
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -eq 0 ]; then
  ensure_comma_locale
  echo "install-deps: everything is installed"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_comma_locale
