# The firmware image a build serves, and stand-in images for tests.
#
# norvane_generate_image(<path> <size>) writes a deterministic stand-in image at
# configure time (once; an existing file is kept).
#
# norvane_build_image(<out-var>) sets <out-var> to the image this build embeds:
# NORVANE_FIRMWARE, or a generated PLACEHOLDER named QB7_v1.12.10_20220613_01.bin,
# which CMake announces loudly because it is not firmware for a real PLC; and
# NORVANE_PLACEHOLDER_SHA256 to the placeholder's digest.
#
# norvane_image_library(<target> <image-file>) makes a static library that
# provides EmbeddedImage() and EmbeddedImageName() for that image: the bytes are
# linked in read-only with the assembler's .incbin, and the built-in file name
# is the image file's own name, whose prefix before the first underscore names
# the model the program serves. (The Windows programs carry theirs as a resource:
# Programs.cmake.)

include("${CMAKE_CURRENT_LIST_DIR}/HostTool.cmake")

function(norvane_generate_image path size)
    if(EXISTS "${path}")
        return()
    endif()
    norvane_host_tool(generator make_placeholder "${PROJECT_SOURCE_DIR}/res/make_placeholder.c")
    get_filename_component(dir "${path}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    execute_process(COMMAND "${generator}" "${path}" ${size} RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "Could not write the image ${path}")
    endif()
endfunction()

function(norvane_build_image out_var)
    # The placeholder is made in every build: its digest tells its bytes apart
    # wherever they come from (NORVANE_PLACEHOLDER_SHA256), also in a build
    # that embeds real firmware.
    set(name "QB7_v1.12.10_20220613_01.bin")
    set(size 2076672)
    set(image "${CMAKE_BINARY_DIR}/placeholder/${name}")
    norvane_generate_image("${image}" ${size})
    file(SHA256 "${image}" digest)
    set(NORVANE_PLACEHOLDER_SHA256 "${digest}" PARENT_SCOPE)
    if(NORVANE_FIRMWARE)
        message(STATUS "Embedding firmware image ${NORVANE_FIRMWARE}")
        set(${out_var} "${NORVANE_FIRMWARE}" PARENT_SCOPE)
        return()
    endif()
    message(WARNING
        "\n*** NORVANE_FIRMWARE is not set: embedding a generated PLACEHOLDER image\n"
        "*** ${name} (${size} bytes).\n"
        "*** It is NOT firmware for a real PLC. Never burn it into one.\n"
        "*** Configure with -DNORVANE_FIRMWARE=/path/to/<MODEL>_<anything>.bin for a real image.\n")
    set(${out_var} "${image}" PARENT_SCOPE)
endfunction()

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
    set(NORVANE_RODATA_SECTION ".rodata")
    set(NORVANE_STACK_NOTE ".section .note.GNU-stack,\"\",@progbits")
    set(NORVANE_IMAGE_PATH "${image_abs}")
    set(NORVANE_IMAGE_NAME "${image_name}")
    set(templates "${PROJECT_SOURCE_DIR}/cmake")
    configure_file("${templates}/embedded_image.S.in" "${out}/embedded_image.S" @ONLY)
    configure_file("${templates}/embedded_image.cpp.in" "${out}/embedded_image.cpp" @ONLY)
    add_library(${target} STATIC "${out}/embedded_image.S" "${out}/embedded_image.cpp")
    set_source_files_properties("${out}/embedded_image.S" PROPERTIES OBJECT_DEPENDS "${image_abs}")
    target_link_libraries(${target} PUBLIC norvane_core)
endfunction()
