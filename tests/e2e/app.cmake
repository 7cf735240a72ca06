# The program end to end. In a folder of its own, so that its tests carry the labels "e2e app".
# The harness uses POSIX processes and FIFOs.
if(TARGET Ambertrail_P3D AND NOT WIN32)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/app)
endif()
