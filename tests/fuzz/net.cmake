vm_fuzz(fuzz_net_cookies SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_net_cookies.cpp LIBS vm_net)
