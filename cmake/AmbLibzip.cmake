# Defines the imported target amb::libzip. Debian's libzip CMake package names its command-line
# tools, which are packaged apart (libzip-tools), so it is not used: pkg-config first, else a plain
# search (cross builds point CMAKE_FIND_ROOT_PATH or CMAKE_PREFIX_PATH at their libzip).
if(NOT TARGET amb::libzip)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND AND NOT CMAKE_CROSSCOMPILING)
    pkg_check_modules(AMB_LIBZIP QUIET IMPORTED_TARGET GLOBAL libzip)
  endif()
  add_library(amb::libzip INTERFACE IMPORTED GLOBAL)
  if(TARGET PkgConfig::AMB_LIBZIP)
    target_link_libraries(amb::libzip INTERFACE PkgConfig::AMB_LIBZIP)
  else()
    find_path(AMB_LIBZIP_INCLUDE_DIR zip.h REQUIRED)
    find_library(AMB_LIBZIP_LIBRARY NAMES zip libzip REQUIRED)
    find_package(ZLIB REQUIRED)
    target_include_directories(amb::libzip INTERFACE ${AMB_LIBZIP_INCLUDE_DIR})
    target_link_libraries(amb::libzip INTERFACE ${AMB_LIBZIP_LIBRARY} ZLIB::ZLIB)
  endif()
endif()
