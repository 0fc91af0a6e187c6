include(${PROJECT_SOURCE_DIR}/skin/SkinMarkup.cmake)
vm_fuzz(fuzz_skin_markup SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_skin_markup.cpp LIBS vm_skin_markup)
