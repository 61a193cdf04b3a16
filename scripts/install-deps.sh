#!/usr/bin/env bash
# Installs the Debian packages that building, testing and benchmarking Percolation need.
# Silent when everything is already there.
set -euo pipefail

packages=(
    cmake ninja-build g++ make pkgconf
    qt6-base-dev libgl-dev
    qt6-wayland
    qt6-charts-dev qt6-svg-dev libqt6opengl6-dev
    libopenmpi-dev openmpi-bin
    libcli11-dev nlohmann-json3-dev
    libbenchmark-dev
    xvfb xauth xdotool
    fonts-urw-base35
)

if ! command -v dpkg-query >/dev/null 2>&1 || ! command -v apt-get >/dev/null 2>&1; then
    echo "install-deps: this system has no apt; please install these Debian packages" \
         "or their equivalents yourself: ${packages[*]}" >&2
    exit 1
fi

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [[ $status == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "install-deps: not root and no sudo; as root run: apt-get install ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { "${sudo[@]}" apt-get update -qq &&
       "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"; } \
       >"$log" 2>&1; then
    cat "$log" >&2
    echo "install-deps: apt-get failed" >&2
    exit 1
fi
echo "install-deps: done"
