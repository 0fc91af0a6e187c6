# Mirror data: update information, checksum file, file list, archive entry names.
foreach(target fuzz_mirror_info fuzz_mirror_checksum fuzz_mirror_filelist fuzz_mirror_zip_name)
    vm_fuzz(${target} SOURCE ${CMAKE_CURRENT_LIST_DIR}/${target}.cpp LIBS vm_update)
endforeach()
