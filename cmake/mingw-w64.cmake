# Cross build for 64-bit Windows with the mingw-w64 compilers of Debian (posix thread model, so that
# std::thread, std::mutex and std::condition_variable are available).
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#
# The libraries built for mingw by scripts/build-mingw-deps.sh live in a cache folder outside the
# clone: AMB_MINGW_PREFIX, else $AMBT_MINGW_CACHE/prefix, else $HOME/.cache/ambertrail-mingw/prefix.
# Programs are linked statically: the .exe files need no DLL besides those of Windows itself.
# Test programs run under Wine through scripts/wine-run.sh (the cross-compiling emulator).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(AMB_MINGW_TRIPLE x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${AMB_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${AMB_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${AMB_MINGW_TRIPLE}-windres REQUIRED)
find_program(CMAKE_AR NAMES ${AMB_MINGW_TRIPLE}-gcc-ar-posix ${AMB_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${AMB_MINGW_TRIPLE}-gcc-ranlib-posix ${AMB_MINGW_TRIPLE}-ranlib)

if(NOT AMB_MINGW_PREFIX)
  if(DEFINED ENV{AMBT_MINGW_CACHE} AND NOT "$ENV{AMBT_MINGW_CACHE}" STREQUAL "")
    set(_amb_cache "$ENV{AMBT_MINGW_CACHE}")
  else()
    set(_amb_cache "$ENV{HOME}/.cache/ambertrail-mingw")
  endif()
  set(AMB_MINGW_PREFIX "${_amb_cache}/prefix")
endif()
set(AMB_MINGW_PREFIX "${AMB_MINGW_PREFIX}" CACHE PATH "Libraries built for mingw (scripts/build-mingw-deps.sh)")
# try_compile projects read the toolchain file again; hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES AMB_MINGW_PREFIX)

# Headers and libraries come only from the mingw sysroot and our prefix, programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${AMB_MINGW_TRIPLE} "${AMB_MINGW_PREFIX}")
set(CMAKE_PREFIX_PATH "${AMB_MINGW_PREFIX}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not report the host's libraries either.
set(ENV{PKG_CONFIG_LIBDIR} "${AMB_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Static archives only: the mingw sysroot also holds import libraries (libz.dll.a), which CMake would
# prefer and which would make the programs need the DLL.
set(ZLIB_USE_STATIC_LIBS ON)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# The test programs find the repository's files by their host paths; Wine shows the host's root
# folder as drive Z:.
set(AMB_TEST_PATH_PREFIX "Z:")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh")
