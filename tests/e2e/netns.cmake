# The network namespaces the fixed-port tests run in. In a folder of its own (labels "e2e netns").
if(AMB_TEST_NETNS)
  add_subdirectory(${CMAKE_CURRENT_LIST_DIR}/netns)
endif()
