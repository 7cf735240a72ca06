# The program end to end. In a folder of its own, so that its tests carry the labels "e2e app".
add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/app)
