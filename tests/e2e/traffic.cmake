# The program with both doubles: the live traffic engine end to end. In a folder of its own, so that
# its tests carry the labels "e2e traffic"; it binds the fixed ports of RealTraffic.
if(TARGET Ambertrail_P3D AND TARGET amb_simdouble AND TARGET amb_trafficdouble AND NOT WIN32)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/traffic)
endif()
