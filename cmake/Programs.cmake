# The programs built for a firmware image. Each carries exactly one image and
# serves the model its file name begins with.
#
# norvane_fwupdate_for_image(<target> <image>): the terminal program; on Windows a
#   console program that carries the image as the window program does.
# norvane_fwupdate_program(<target> <image>): the Windows program with its window;
#   the image, its built-in file name, the logo, the icon and a version record go
#   into the program's resources.

include("${CMAKE_CURRENT_LIST_DIR}/FirmwareImage.cmake")

function(norvane_fwupdate_for_image target image)
    add_executable(${target} "${PROJECT_SOURCE_DIR}/ui/cli/main.cpp")
    norvane_warnings(${target})
    if(WIN32)
        # The image is resource BIN 8, read through the window program's loader.
        target_link_libraries(${target} PRIVATE norvane_cli norvane_line norvane_resource_image)
        norvane_windows_resources(${target} "${image}")
    else()
        norvane_image_library(${target}_image "${image}")
        target_link_libraries(${target} PRIVATE norvane_cli norvane_line ${target}_image)
    endif()
endfunction()

# The logo and the icon, drawn once on the build machine by make_artwork.c; sets
# NORVANE_LOGO_BMP and NORVANE_ICON_ICO.
function(norvane_make_artwork)
    set(dir "${CMAKE_BINARY_DIR}/artwork")
    set(NORVANE_LOGO_BMP "${dir}/logo.bmp" PARENT_SCOPE)
    set(NORVANE_ICON_ICO "${dir}/icon.ico" PARENT_SCOPE)
    set(source "${PROJECT_SOURCE_DIR}/res/win32/make_artwork.c")
    # The artwork is drawn at configure time, so a change to its generator reconfigures.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
    if(EXISTS "${dir}/logo.bmp" AND EXISTS "${dir}/icon.ico"
       AND NOT "${source}" IS_NEWER_THAN "${dir}/logo.bmp")
        return()
    endif()
    file(MAKE_DIRECTORY "${dir}")
    norvane_host_tool(make_artwork make_artwork "${source}")
    execute_process(COMMAND "${make_artwork}" "${dir}/logo.bmp" "${dir}/icon.ico"
                    RESULT_VARIABLE drawn)
    if(NOT drawn EQUAL 0)
        message(FATAL_ERROR "Could not draw the logo and the icon")
    endif()
endfunction()

# Adds to <target> the resource script that carries <image> (BIN 8), the artwork
# and the version record, and the image's built-in file name (EmbeddedImageName).
function(norvane_windows_resources target image)
    norvane_make_artwork()
    get_filename_component(image_abs "${image}" ABSOLUTE)
    get_filename_component(image_name "${image_abs}" NAME)
    string(FIND "${image_name}" "_" underscore)
    if(underscore GREATER 0)
        string(SUBSTRING "${image_name}" 0 ${underscore} model)
    else()
        set(model "")
    endif()

    set(NORVANE_RC_ICON "${NORVANE_ICON_ICO}")
    set(NORVANE_RC_LOGO "${NORVANE_LOGO_BMP}")
    set(NORVANE_RC_IMAGE "${image_abs}")
    set(NORVANE_RC_IMAGE_NAME "${image_name}")
    set(NORVANE_RC_MODEL "${model}")
    set(NORVANE_RC_PROGRAM "${target}")
    set(NORVANE_RC_VERSION "${PROJECT_VERSION}")
    string(REPLACE "." "," NORVANE_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
    configure_file("${PROJECT_SOURCE_DIR}/res/win32/fwupdate.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
    set_source_files_properties("${rc}" PROPERTIES
        OBJECT_DEPENDS "${image_abs};${NORVANE_LOGO_BMP};${NORVANE_ICON_ICO}")

    # The built-in file name, a constant beside the image resource.
    set(name_cpp "${CMAKE_CURRENT_BINARY_DIR}/${target}_image_name.cpp")
    file(CONFIGURE OUTPUT "${name_cpp}" CONTENT
"// Generated: the built-in file name of the image in resource BIN 8.
#include \"burn/image.h\"

namespace norvane {

const char* EmbeddedImageName() {
    return \"@image_name@\";
}

}  // namespace norvane
" @ONLY)
    target_sources(${target} PRIVATE "${name_cpp}")
endfunction()

function(norvane_fwupdate_program target image)
    add_executable(${target} WIN32 "${PROJECT_SOURCE_DIR}/ui/win32/win_main.cpp")
    target_link_libraries(${target} PRIVATE norvane_window)
    norvane_windows_resources(${target} "${image}")
    norvane_warnings(${target})
endfunction()
