# The main job's script against this build (the program, both doubles, the map tool, the download
# server): its failure path when another program holds the RealTraffic command port, a short run in a
# network namespace of its own while other programs hold the fixed ports outside it, and a run of one
# minute whose output is what the README shows. Each test
# runs in a network namespace of its own where the machine allows one, else holding the fixed ports'
# lock.
if(TARGET Ambertrail_P3D AND TARGET amb_simdouble AND TARGET trafficdouble AND TARGET amb_tracemap AND
   TARGET amb_server_folder AND NOT WIN32)
  set(_amb_demo_test bash ${CMAKE_CURRENT_LIST_DIR}/demo/port_taken.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  if(AMB_TEST_NETNS)
    add_test(NAME demo_port_taken COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh ${_amb_demo_test})
    set_tests_properties(demo_port_taken PROPERTIES LABELS "e2e;demo" TIMEOUT 300)
    # Only where namespaces exist: elsewhere the run shares the network and meets the held ports.
    add_test(NAME demo_own_network COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh bash
             ${CMAKE_CURRENT_LIST_DIR}/demo/own_network.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
    set_tests_properties(demo_own_network PROPERTIES LABELS "e2e;demo" TIMEOUT 300)
    # A run of one minute prints what the README shows.
    add_test(NAME demo_one_minute COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh bash
             ${CMAKE_CURRENT_LIST_DIR}/demo/one_minute.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
    set_tests_properties(demo_one_minute PROPERTIES LABELS "e2e;demo" TIMEOUT 400)
  else()
    add_test(NAME demo_port_taken COMMAND ${_amb_demo_test})
    set_tests_properties(demo_port_taken PROPERTIES LABELS "e2e;demo" TIMEOUT 300 RESOURCE_LOCK fixed_ports)
  endif()
endif()
