vm_fuzz(fuzz_net_passport SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_net_passport.cpp LIBS vm_net vm_platform)
