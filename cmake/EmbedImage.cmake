# Builds a firmware image into a program.
#
# norvane_image_library(<target> <image-file>) makes a static library that
# provides EmbeddedImage() and EmbeddedImageName() for that image: the bytes are
# linked in read-only with the assembler's .incbin, and the built-in file name
# is the image file's own name, whose prefix before the first underscore names
# the model the program serves.

set(NORVANE_EMBED_DIR "${CMAKE_CURRENT_LIST_DIR}")

function(norvane_image_library target image)
    get_filename_component(image_abs "${image}" ABSOLUTE)
    if(NOT EXISTS "${image_abs}")
        message(FATAL_ERROR "Firmware image not found: ${image_abs}")
    endif()
    get_filename_component(image_name "${image_abs}" NAME)
    string(FIND "${image_name}" "_" underscore)
    if(underscore LESS 1)
        message(WARNING "Image name '${image_name}' has no model prefix before an underscore; "
                        "the program will fall back to the first model in sorted order.")
    endif()
    set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}")
    file(MAKE_DIRECTORY "${out}")
    if(WIN32)
        set(NORVANE_RODATA_SECTION ".rdata,\"dr\"")
        set(NORVANE_STACK_NOTE "")
    else()
        set(NORVANE_RODATA_SECTION ".rodata")
        set(NORVANE_STACK_NOTE ".section .note.GNU-stack,\"\",@progbits")
    endif()
    set(NORVANE_IMAGE_PATH "${image_abs}")
    set(NORVANE_IMAGE_NAME "${image_name}")
    configure_file("${NORVANE_EMBED_DIR}/embedded_image.S.in" "${out}/embedded_image.S" @ONLY)
    configure_file("${NORVANE_EMBED_DIR}/embedded_image.cpp.in" "${out}/embedded_image.cpp" @ONLY)
    add_library(${target} STATIC "${out}/embedded_image.S" "${out}/embedded_image.cpp")
    set_source_files_properties("${out}/embedded_image.S" PROPERTIES OBJECT_DEPENDS "${image_abs}")
    target_link_libraries(${target} PUBLIC norvane_core)
    set_target_properties(${target} PROPERTIES NORVANE_IMAGE_FILE "${image_abs}")
endfunction()
