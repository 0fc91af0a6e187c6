# One libFuzzer target per picture decoder.
foreach(format jpeg gif bmp tga)
    vm_fuzz(fuzz_imaging_${format}
        SOURCE ${CMAKE_CURRENT_LIST_DIR}/fuzz_imaging_${format}.cpp
        LIBS vm_imaging)
endforeach()
