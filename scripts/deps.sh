#!/usr/bin/env bash
# Installs the Debian packages that building, testing, benchmarking and the demo need.
# Idempotent: when everything is present it prints nothing and exits at once.
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qtbase5-dev qtscript5-dev
    dpkg-dev file  # cpack -G DEB: dpkg-shlibdeps works out the package's Depends
    libopencv-dev liblcms2-dev
    libbenchmark-dev
    clang-format git
    xvfb xauth  # the desktop editor's end-to-end test runs under xvfb-run
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
