#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need.
# Quiet and quick when everything is already there.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libsqlite3-dev zlib1g-dev libssl-dev libzip-dev libfreexl-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-liberation fonts-liberation2
  poppler-utils xvfb locales
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A decimal-comma locale, so that the tests can show that the machine's locale
# never changes how numbers are read or written.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
  $SUDO localedef -i de_DE -f UTF-8 de_DE.UTF-8 >/dev/null 2>&1 || true
fi
