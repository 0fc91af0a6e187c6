# Update run benchmarks: a first update against curl, a no-change run against a stat-only
# walk. Not part of ctest; run build/bench/bench_update by hand (needs velmora-devserver and
# curl).
add_executable(bench_update ${CMAKE_CURRENT_LIST_DIR}/update_bench.cpp)
target_link_libraries(bench_update PRIVATE vm_update vm_net)
set_target_properties(bench_update PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_update velmora-devserver)
vm_warnings(bench_update)
