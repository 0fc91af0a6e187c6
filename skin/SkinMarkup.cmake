# The Qt-free markup parser and layout engine: part of vm_skin, and built on its own for the
# fuzzers (the fuzz build has no Qt).
if(NOT TARGET vm_skin_markup)
    vm_library(vm_skin_markup
        SOURCES
            ${CMAKE_CURRENT_LIST_DIR}/MarkupLayout.cpp
            ${CMAKE_CURRENT_LIST_DIR}/MarkupTokenizer.cpp
            ${CMAKE_CURRENT_LIST_DIR}/StringTable.cpp
        FOLDER skin
        PUBLIC_LIBS vm_platform)
endif()
