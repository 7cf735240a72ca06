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
    # An imported library that carries its dependency on zlib, so that a static link always puts
    # zlib after libzip, wherever else zlib is needed first.
    add_library(amb_libzip_found UNKNOWN IMPORTED GLOBAL)
    set_target_properties(amb_libzip_found PROPERTIES
      IMPORTED_LOCATION ${AMB_LIBZIP_LIBRARY}
      INTERFACE_INCLUDE_DIRECTORIES ${AMB_LIBZIP_INCLUDE_DIR}
      INTERFACE_LINK_LIBRARIES ZLIB::ZLIB)
    target_link_libraries(amb::libzip INTERFACE amb_libzip_found)
  endif()
endif()
