# The program against the simulator double. In a folder of its own, so that its tests carry the
# labels "e2e sim".
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/sim)
