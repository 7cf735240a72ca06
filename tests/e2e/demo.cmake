# The main job's failure path: another program holds the RealTraffic command port. It runs the main
# job's script against this build (the program, both doubles, the map tool, the download server), in
# a network namespace of its own where the machine allows one, else holding the fixed ports' lock.
if(TARGET Ambertrail_P3D AND TARGET amb_simdouble AND TARGET trafficdouble AND TARGET amb_tracemap AND
   TARGET amb_server_folder AND NOT WIN32)
  set(_amb_demo_test bash ${CMAKE_CURRENT_LIST_DIR}/demo/port_taken.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR})
  if(AMB_TEST_NETNS)
    add_test(NAME demo_port_taken COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/in-netns.sh ${_amb_demo_test})
    set_tests_properties(demo_port_taken PROPERTIES LABELS "e2e;demo" TIMEOUT 300)
  else()
    add_test(NAME demo_port_taken COMMAND ${_amb_demo_test})
    set_tests_properties(demo_port_taken PROPERTIES LABELS "e2e;demo" TIMEOUT 300 RESOURCE_LOCK fixed_ports)
  endif()
endif()
