# The feed end to end, in a folder of its own so that its tests carry the labels "e2e feed".
if(TARGET trafficdouble)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/feed)
endif()
