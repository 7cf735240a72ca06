# Include check of the layers, run as a test: cmake -DROOT=<tree> -DORDER=<a;b;...> -DLOW=<a;...> -P
#
# ORDER lists the library folders from the lowest up. A file in one of them may include
#  - any header of its own folder, or of a lower folder of the same subsystem (sim and sim/simconnect);
#  - any header of a lower folder listed in LOW (platform, core, the shared records, settings, state);
#  - of another, lower subsystem only its services header, "<folder>/services.hpp".
# An include of a higher folder, or of another subsystem's inner header, is reported with file and line,
# and the script fails.

cmake_minimum_required(VERSION 3.25)

if(NOT ROOT OR NOT ORDER)
  message(FATAL_ERROR "CheckLayering: ROOT and ORDER are required")
endif()

# The folder of ORDER that holds the path: the longest listed prefix.
function(_amb_owner path out)
  set(best "")
  foreach(dir IN LISTS ORDER)
    string(LENGTH "${dir}" len)
    string(LENGTH "${best}" bestLen)
    if(path MATCHES "^${dir}/" AND len GREATER bestLen)
      set(best "${dir}")
    endif()
  endforeach()
  set(${out} "${best}" PARENT_SCOPE)
endfunction()

function(_amb_family dir out)
  string(REGEX REPLACE "/.*" "" top "${dir}")
  set(${out} "${top}" PARENT_SCOPE)
endfunction()

set(_faults "")
foreach(dir IN LISTS ORDER)
  list(FIND ORDER "${dir}" level)
  _amb_family("${dir}" family)
  file(GLOB_RECURSE files RELATIVE "${ROOT}" "${ROOT}/${dir}/*.cpp" "${ROOT}/${dir}/*.hpp")
  foreach(file IN LISTS files)
    _amb_owner("${file}" owner)
    if(NOT owner STREQUAL dir)
      continue()  # a file of a folder listed on its own (sim/simconnect inside sim)
    endif()
    file(STRINGS "${ROOT}/${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      _amb_owner("${header}" target)
      if(target STREQUAL "" OR target STREQUAL dir)
        continue()
      endif()
      list(FIND ORDER "${target}" targetLevel)
      _amb_family("${target}" targetFamily)
      if(targetLevel GREATER level)
        list(APPEND _faults "${file}: includes the higher ${header}")
      elseif(targetFamily STREQUAL family)
        continue()
      elseif(NOT target IN_LIST LOW AND NOT header STREQUAL "${target}/services.hpp")
        list(APPEND _faults "${file}: includes ${header}, an inner header of ${target} (use ${target}/services.hpp)")
      endif()
    endforeach()
  endforeach()
endforeach()

if(_faults)
  list(JOIN _faults "\n  " text)
  message(FATAL_ERROR "Layering faults:\n  ${text}")
endif()
message(STATUS "Layering: every include points down")
