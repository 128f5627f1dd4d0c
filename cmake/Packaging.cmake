# What `cmake --install` puts where, and the packages CPack builds from it: a
# Debian package from a native build, a zip from the Windows cross build. The
# version of both is the project's.

include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME "norvane-fwupdate")
set(CPACK_PACKAGE_VENDOR "Norvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "writes new firmware into Norvane PLCs")
set(CPACK_PACKAGE_CONTACT "Norvane firmware tools <firmware-tools@norvane.example>")
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/packages")
get_filename_component(norvane_image_name "${NORVANE_IMAGE_FILE}" NAME)
string(REGEX REPLACE "_.*" "" norvane_model "${norvane_image_name}")

if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME "norvane-fwupdate-${PROJECT_VERSION}-${norvane_model}-windows")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
    install(TARGETS norvane-fwupdate norvane-fwupdate-cli RUNTIME DESTINATION .)
    set(NORVANE_VERSION "${PROJECT_VERSION}")
    set(NORVANE_IMAGE_NAME "${norvane_image_name}")
    set(NORVANE_MODEL "${norvane_model}")
    configure_file("${PROJECT_SOURCE_DIR}/res/packaging/README.txt.in"
                   "${CMAKE_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
    install(FILES "${CMAKE_BINARY_DIR}/packaging/README.txt" DESTINATION .)
else()
    set(docdir "${CMAKE_INSTALL_DATADIR}/doc/norvane-fwupdate")
    install(TARGETS norvane-fwupdate norvane-plcsim RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/99-norvane-plc.rules"
            DESTINATION "lib/udev/rules.d")
    # A headless station: the systemd unit (shipped disabled), an example of its
    # settings, and the bash completion where bash-completion looks for it.
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/norvane-fwupdate-station@.service"
            DESTINATION "lib/systemd/system")
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/station.conf" DESTINATION "${docdir}/examples"
            RENAME "station.conf")
    # The folder of the PLCs' locks, made at every start.
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/norvane-fwupdate.tmpfiles"
            DESTINATION "lib/tmpfiles.d" RENAME "norvane-fwupdate.conf")
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/norvane-fwupdate.bash-completion"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions"
            RENAME norvane-fwupdate)
    # Manual pages go in compressed, as every page in share/man does.
    find_program(NORVANE_GZIP gzip REQUIRED)
    foreach(page norvane-fwupdate.1 norvane-plcsim.1)
        set(gz "${CMAKE_BINARY_DIR}/man/${page}.gz")
        add_custom_command(OUTPUT "${gz}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_BINARY_DIR}/man"
            COMMAND "${NORVANE_GZIP}" -9 -n -c "${PROJECT_SOURCE_DIR}/docs/man/${page}" > "${gz}"
            DEPENDS "${PROJECT_SOURCE_DIR}/docs/man/${page}" VERBATIM)
        list(APPEND norvane_manual_pages "${gz}")
        install(FILES "${gz}" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
    endforeach()
    # The Debian changelog of a native package, made from the version.
    string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(changelog "${CMAKE_BINARY_DIR}/packaging/changelog")
    file(WRITE "${changelog}"
        "norvane-fwupdate (${PROJECT_VERSION}) stable; urgency=medium\n\n"
        "  * Release ${PROJECT_VERSION}: see CHANGELOG.md in this folder.\n\n"
        " -- ${CPACK_PACKAGE_CONTACT}  ${changelog_date}\n")
    add_custom_command(OUTPUT "${changelog}.gz"
        COMMAND "${NORVANE_GZIP}" -9 -n -c "${changelog}" > "${changelog}.gz"
        DEPENDS "${changelog}" VERBATIM)
    add_custom_target(norvane_documents ALL DEPENDS ${norvane_manual_pages} "${changelog}.gz")
    install(FILES "${changelog}.gz" DESTINATION "${docdir}")
    install(FILES
        "${PROJECT_SOURCE_DIR}/README.md"
        "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
        "${PROJECT_SOURCE_DIR}/docs/user-guide.md"
        "${PROJECT_SOURCE_DIR}/docs/json-events.md"
        "${PROJECT_SOURCE_DIR}/docs/record-db.md"
        "${PROJECT_SOURCE_DIR}/docs/json-events.schema.json"
        "${PROJECT_SOURCE_DIR}/res/packaging/copyright"
        DESTINATION "${docdir}")
    install(FILES "${PROJECT_SOURCE_DIR}/res/linux/README.md" DESTINATION "${docdir}"
            RENAME udev-rule.md)

    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
    set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # After the synopsis (the summary above), the long description.
    string(CONCAT CPACK_DEBIAN_PACKAGE_DESCRIPTION
        "The terminal program of the Norvane PLC Firmware Update Program: it checks\n"
        "the PLC's model, brings the PLC into its bootloader, erases the flash and\n"
        "sends a firmware file of any of the 31 models (or the image built into it,\n"
        "model ${norvane_model}), over a serial port or the PLC's own USB port. It\n"
        "tells what PLC is on a port and checks a station without erasing. Several\n"
        "PLCs at once, output for scripts (JSON lines) and a record of every burn,\n"
        "for production lines.\n"
        "The package also holds norvane-plcsim, a simulated PLC to try it with.")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
        "${PROJECT_SOURCE_DIR}/res/packaging/postinst;${PROJECT_SOURCE_DIR}/res/packaging/postrm")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
