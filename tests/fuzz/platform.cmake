vm_fuzz(fuzz_ini_file SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_ini_file.cpp LIBS vm_platform)
