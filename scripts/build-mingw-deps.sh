#!/usr/bin/env bash
# Builds the libraries of the Windows cross build once, from Debian's source packages, into a cache
# folder outside the clone:
#
#   $AMBT_MINGW_CACHE (default $HOME/.cache/ambertrail-mingw)
#     prefix/   headers, static libraries and CMake package files (AMB_MINGW_PREFIX of the toolchain)
#     work/     sources and build folders while a package builds (removed afterwards)
#
# fmt, nlohmann json, pugixml, GoogleTest, libzip (zlib from libz-mingw-w64-dev) and libcurl (TLS by
# Schannel) are built with cmake/mingw-w64.cmake as static libraries.
#
# Idempotent: a package is built again only when its stamp is missing or this script, the toolchain
# file or the compiler changed (then the whole prefix is rebuilt). A run with a complete cache needs
# no network. Delete the cache folder to pick up newer Debian sources.
#
# apt-get source needs a deb-src entry. When the machine has none, one is derived from its own
# Debian entries by changing their type (so the archive's address comes from the machine itself),
# followed by apt-get update; this needs root (sudo is used otherwise).
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
cache="${AMBT_MINGW_CACHE:-$HOME/.cache/ambertrail-mingw}"
prefix="$cache/prefix"
work="$cache/work"
jobs="${JOBS:-$(nproc)}"
toolchain="$root/cmake/mingw-w64.cmake"
triple=x86_64-w64-mingw32

packages=(fmtlib nlohmann-json3 pugixml googletest libzip curl)

say() { echo "build-mingw-deps: $*"; }
die() { echo "build-mingw-deps: $*" >&2; exit 1; }

for tool in ${triple}-g++-posix cmake ninja apt-get dpkg-source; do
  command -v "$tool" >/dev/null 2>&1 || die "$tool is missing (bash scripts/setup.sh windows)"
done

cmake_opts() {
  case "$1" in
    fmtlib) echo "-DFMT_DOC=OFF -DFMT_TEST=OFF -DFMT_INSTALL=ON" ;;
    nlohmann-json3) echo "-DJSON_BuildTests=OFF -DJSON_Install=ON" ;;
    pugixml) echo "-DPUGIXML_BUILD_TESTS=OFF" ;;
    googletest) echo "-DBUILD_GMOCK=ON -DINSTALL_GTEST=ON" ;;
    libzip)
      # The program opens its archives without encryption, so no crypto library (and no bcrypt).
      echo "-DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF" \
           "-DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF" \
           "-DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF" ;;
    curl)
      # Schannel for TLS, Windows' own IDN and SSPI; UTF-8 file names in file:// URLs.
      echo "-DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON" \
           "-DUSE_WIN32_IDN=ON -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF" \
           "-DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none" \
           "-DENABLE_UNICODE=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF" ;;
    *) die "no recipe for $1" ;;
  esac
}

# What the cached libraries depend on besides the Debian sources: this recipe and the compiler.
recipe_key() {
  { cat "$0" "$toolchain"; ${triple}-g++-posix --version | head -n1; } | sha256sum | cut -c1-16
}

all_stamped() {
  local key="$1" p
  for p in "${packages[@]}"; do
    [ -f "$prefix/.stamps/$p" ] || return 1
  done
  [ "$(cat "$prefix/.stamps/.recipe" 2>/dev/null)" = "$key" ]
}

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

have_sources_index() { [ -n "$(apt-cache showsrc "$1" 2>/dev/null | head -n1)" ]; }

# Lines or stanzas that already ask for source packages.
has_deb_src_entry() {
  grep -Eqs '^[[:space:]]*deb-src[[:space:]]|^Types:.*deb-src' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources
}

# Derives deb-src entries from the machine's Debian entries: deb822 files signed with Debian's
# archive key (or named debian.sources) and the one-line entries of /etc/apt/sources.list.
add_deb_src_entries() {
  local f out=/etc/apt/sources.list.d/ambertrail-deb-src.sources made=0 tmp
  tmp="$(mktemp)"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    case "$f" in */ambertrail-deb-src.sources) continue ;; esac
    if [ "$(basename "$f")" = debian.sources ] || grep -qs 'debian-archive-keyring' "$f"; then
      sed -E 's/^Types:[[:space:]]*deb[[:space:]]*$/Types: deb-src/' "$f" >>"$tmp"
      echo >>"$tmp"
      made=1
    fi
  done
  if [ "$made" -eq 1 ]; then
    as_root install -m 0644 "$tmp" "$out"
  elif grep -Eqs '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list; then
    sed -nE 's/^[[:space:]]*deb([[:space:]])/deb-src\1/p' /etc/apt/sources.list >"$tmp"
    as_root install -m 0644 "$tmp" /etc/apt/sources.list.d/ambertrail-deb-src.list
    made=1
  fi
  rm -f "$tmp"
  [ "$made" -eq 1 ]
}

ensure_sources() {
  have_sources_index "${packages[0]}" && return 0
  if ! has_deb_src_entry; then
    say "no deb-src entry on this machine; deriving one from its Debian entries"
    add_deb_src_entries || die "found no Debian apt entry to derive a deb-src entry from"
  fi
  say "apt-get update (source indexes)"
  retry 3 as_root apt-get update -qq || die "apt-get update failed"
  have_sources_index "${packages[0]}" || die "apt-get source cannot find ${packages[0]}: no source index"
}

# retry N COMMAND...: a passing network hiccup must not fail the build.
retry() {
  local n="$1" i
  shift
  for ((i = 1; i <= n; i++)); do
    "$@" && return 0
    [ "$i" -lt "$n" ] && say "attempt $i of $n failed: $*; trying again"
  done
  return 1
}

fetch_source() {
  local src="$1" pkg="$2"
  rm -rf "${src:?}"/*
  (cd "$src" && apt-get source -qq -o APT::Sandbox::User="$(id -un)" "$pkg" >/dev/null)
}

build_package() {
  local pkg="$1" src bld dir dsc version
  src="$work/src/$pkg"
  bld="$work/build/$pkg"
  rm -rf "$src" "$bld"
  mkdir -p "$src" "$bld"
  say "$pkg: fetching the Debian source package"
  retry 3 fetch_source "$src" "$pkg" || die "$pkg: apt-get source failed"
  dsc="$(ls "$src"/*.dsc | head -n1)"
  version="$(sed -n 's/^Version:[[:space:]]*//p' "$dsc" | head -n1)"
  dir="$(find "$src" -mindepth 1 -maxdepth 1 -type d | head -n1)"
  [ -n "$dir" ] || die "$pkg: no source folder after apt-get source"
  say "$pkg $version: building"
  # shellcheck disable=SC2046
  cmake -S "$dir" -B "$bld" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DAMB_MINGW_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_C_COMPILER_LAUNCHER= -DCMAKE_CXX_COMPILER_LAUNCHER= \
    $(cmake_opts "$pkg") >"$bld.log" 2>&1 || { tail -n 40 "$bld.log" >&2; die "$pkg: configure failed"; }
  cmake --build "$bld" -j "$jobs" >>"$bld.log" 2>&1 || { tail -n 40 "$bld.log" >&2; die "$pkg: build failed"; }
  cmake --install "$bld" >>"$bld.log" 2>&1 || { tail -n 40 "$bld.log" >&2; die "$pkg: install failed"; }
  mkdir -p "$prefix/.stamps"
  echo "$version" >"$prefix/.stamps/$pkg"
  rm -rf "$src" "$bld" "$bld.log"
}

main() {
  mkdir -p "$cache"
  exec 8>"$cache/.lock"
  flock -w 3600 8 || die "another build of the cache is still running"

  local key
  key="$(recipe_key)"
  if all_stamped "$key"; then
    say "up to date in $prefix"
    return 0
  fi
  if [ "$(cat "$prefix/.stamps/.recipe" 2>/dev/null)" != "$key" ]; then
    [ -d "$prefix" ] && say "recipe changed: rebuilding everything"
    rm -rf "$prefix"
    mkdir -p "$prefix/.stamps"
    echo "$key" >"$prefix/.stamps/.recipe"
  fi

  ensure_sources
  local p
  for p in "${packages[@]}"; do
    if [ -f "$prefix/.stamps/$p" ]; then
      say "$p $(cat "$prefix/.stamps/$p"): cached"
    else
      build_package "$p"
    fi
  done
  rm -rf "$work"
  say "done: $prefix"
}

main "$@"
