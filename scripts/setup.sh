#!/usr/bin/env bash
# Installs the Debian packages the Linux build, its tests and the main job need (rsvg-convert turns
# the main job's pictures into PNG), only those that are missing.
# Safe to run again: it does nothing when everything is present.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config
  libfmt-dev libpugixml-dev nlohmann-json3-dev libcurl4-openssl-dev libzip-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 zip unzip iproute2
  clang libclang-rt-dev
  librsvg2-bin fonts-dejavu-core
)
# Extra groups, asked for by name: "windows" adds the cross compiler and Wine.
for group in "$@"; do
  case "$group" in
    windows) packages+=(mingw-w64 libz-mingw-w64-dev wine64 xvfb xauth x11-apps dpkg-dev) ;;
    *) echo "setup.sh: unknown group '$group'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
