# Checksum scan benchmark: cold scan against md5sum, warm scan against a stat-only walk.
# Not part of ctest; run build/bench/bench_scan by hand.
add_executable(bench_scan ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp)
target_link_libraries(bench_scan PRIVATE vm_update)
set_target_properties(bench_scan PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
vm_warnings(bench_scan)
