# One libFuzzer target per picture decoder, sharing the result check.
foreach(format jpeg gif bmp tga)
    vm_fuzz(fuzz_imaging_${format}
        SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_imaging_${format}.cpp
        LIBS vm_imaging)
    if(TARGET fuzz_imaging_${format})
        target_sources(fuzz_imaging_${format} PRIVATE ${CMAKE_CURRENT_LIST_DIR}/fuzz_imaging_common.cpp)
    endif()
endforeach()
