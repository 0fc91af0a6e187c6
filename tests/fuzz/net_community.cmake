vm_fuzz(fuzz_community_result SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_community_result.cpp LIBS vm_net)
