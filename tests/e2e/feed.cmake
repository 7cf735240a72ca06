# The feed against the traffic double run as its own process on the fixed ports.
if(TARGET trafficdouble)
  amb_test(feed_e2e LABELS e2e feed SOURCES ${CMAKE_CURRENT_LIST_DIR}/feed_e2e_test.cpp
    DEPS amb_feed amb_trafficdouble RESOURCE_LOCK fixed_ports)
  target_compile_definitions(feed_e2e PRIVATE AMB_TRAFFIC_DOUBLE="$<TARGET_FILE:trafficdouble>")
  add_dependencies(feed_e2e trafficdouble)
endif()
