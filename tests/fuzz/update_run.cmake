vm_fuzz(fuzz_update_addon_info SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_update_addon_info.cpp
        LIBS vm_update)
