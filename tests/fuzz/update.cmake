vm_fuzz(fuzz_update_checksum_cache SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_update_checksum_cache.cpp
        LIBS vm_update)
