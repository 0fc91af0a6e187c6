# A delaying TCP relay: the end-to-end benchmark measures updates over a player's round trip.
add_executable(latency_relay ${CMAKE_CURRENT_LIST_DIR}/latency_relay.cpp)
target_link_libraries(latency_relay PRIVATE Threads::Threads)
set_target_properties(latency_relay PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
vm_warnings(latency_relay)
