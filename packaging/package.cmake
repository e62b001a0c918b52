# Installing Quillon Converter like a desktop program, and its Debian package (make deb).
#
# Layout below the prefix: bin/quillon; lib/<architecture>/quillon/quillon-window.so, where the
# program looks for its window (<folder of the program>/../QUILLON_MODULE_DIR/);
# share/quillon/quillon.pdf, the guide that Help opens; share/quillon/cluster/, the scripts that
# run the program on a cluster (README, "Converting on a cluster"); the desktop entry, the project
# file type, the icons, the manual page and the package's documents in their freedesktop and
# Debian places.
#
# Installing builds nothing (make deb builds the target quillon_package, what the package holds,
# first): a build folder with the tests configured need not build them to make the package.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
add_custom_target(quillon_package)
set(QUILLON_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/quillon)
set(QUILLON_DEB_VERSION ${PROJECT_VERSION}-1)
set(packaging ${PROJECT_SOURCE_DIR}/packaging)

install(TARGETS quillon RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
add_dependencies(quillon_package quillon)

# The window is a module of its own target, built in src/ui/ when the window is there. It is
# picked up by its file name, whatever its target is called.
function(quillon_install_window_module)
    get_property(folders DIRECTORY ${PROJECT_SOURCE_DIR} PROPERTY SUBDIRECTORIES)
    foreach(folder IN LISTS folders)
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            get_target_property(name ${target} OUTPUT_NAME)
            if(NOT name)
                set(name ${target})
            endif()
            if(type STREQUAL "MODULE_LIBRARY" AND name STREQUAL "quillon-window")
                install(TARGETS ${target} LIBRARY DESTINATION ${QUILLON_MODULE_DIR})
                add_dependencies(quillon_package ${target})
            endif()
        endforeach()
    endforeach()
endfunction()
quillon_install_window_module()

# The cluster scripts the README's commands name, as they are in the source tree.
install(PROGRAMS ${PROJECT_SOURCE_DIR}/cluster/merge-logs.py ${PROJECT_SOURCE_DIR}/cluster/shard.py
                 ${PROJECT_SOURCE_DIR}/cluster/dask-convert.py
                 ${PROJECT_SOURCE_DIR}/cluster/quillon-array.sbatch
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/cluster)
install(FILES ${PROJECT_SOURCE_DIR}/cluster/quillon_project.py
              ${PROJECT_SOURCE_DIR}/cluster/quillon-indexed-job.yaml
              ${PROJECT_SOURCE_DIR}/cluster/Containerfile
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quillon/cluster)

install(FILES ${packaging}/quillon.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/quillon-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME quillon.xml)

# The icons of the hicolor theme: the program's (apps/quillon) and its projects' file type
# (mimetypes/application-x-quillon-project), rendered at build time (cmake/icons.cmake). The
# icon cache is the theme's business: hicolor-icon-theme's trigger on /usr/share/icons/hicolor
# rebuilds it, so the package needs no maintainer script.
set(QUILLON_ICON_SIZES 16 22 24 32 48 64 128 256)
include(${PROJECT_SOURCE_DIR}/cmake/icons.cmake)
function(quillon_add_icon name context)
    set(theme ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
    quillon_render_icon(${name} ${context} "${QUILLON_ICON_SIZES}" pngs)
    foreach(png IN LISTS pngs)
        get_filename_component(folder ${png} DIRECTORY)
        get_filename_component(folder ${folder} DIRECTORY)
        get_filename_component(size ${folder} NAME)
        install(FILES ${png} DESTINATION ${theme}/${size}/${context})
    endforeach()
    add_custom_target(icon_${name} ALL DEPENDS ${pngs})
    add_dependencies(quillon_package icon_${name})
    install(FILES ${PROJECT_SOURCE_DIR}/src/ui/resources/${name}.svg
            DESTINATION ${theme}/scalable/${context})
endfunction()
if(NOT QUILLON_FUZZ)
    if(RSVG_CONVERT)
        quillon_add_icon(quillon apps)
        quillon_add_icon(application-x-quillon-project mimetypes)
    else()
        install(CODE "message(FATAL_ERROR \"The icons were not rendered: install librsvg2-bin \"
                      \"(make deps) and configure again\")")
    endif()
endif()

configure_file(${packaging}/changelog.in changelog.Debian @ONLY)
add_custom_command(OUTPUT changelog.Debian.gz
    COMMAND sh -c "gzip -9nc changelog.Debian > changelog.Debian.gz"
    DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian VERBATIM)
add_custom_target(package_documents ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
add_dependencies(quillon_package package_documents)
if(TARGET docs)
    add_dependencies(quillon_package docs)
endif()
install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz ${packaging}/copyright
              ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/slides.schema.json
        DESTINATION ${QUILLON_DOC_DIR})

# A package never goes out without its manual page and guide.
if(NOT QUILLON_DOCS_BUILT)
    install(CODE "message(FATAL_ERROR \"The manual page and the guide were not built: install \"
                  \"groff, librsvg2-bin and poppler-utils (make deps) and configure again\")")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon Converter developers")
set(CPACK_PACKAGE_CONTACT "Quillon Converter developers <support@quillon.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "batch converter of presentations to plain text")
set(CPACK_PACKAGE_DESCRIPTION
    "Quillon Converter turns PowerPoint presentations (.ppt, .pptx, .pptm and the\n"
    "other Office Open XML and PowerPoint 97-2003 forms) into plain-text files, many\n"
    "at a time, from its window or unattended from the command line. It reads the\n"
    "files itself: no office program is needed. Every setting of a run is kept in a\n"
    "batch project.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quillon.example.org")
# The dependencies are what dpkg-shlibdeps finds in the binaries, and Python for the cluster
# scripts; Dask and Slurm only for those who use them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ICU is loaded at the first legacy code page, so dpkg-shlibdeps does not see it either; unlike
# libcrypto it is needed on any system whose locale is not UTF-8.
string(REGEX MATCH "^[0-9]+" icuMajor "${ICU_VERSION}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, libicu${icuMajor}")
# libcrypto is loaded only for encrypted files, so dpkg-shlibdeps does not see it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libssl3")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-distributed, slurm-client")
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)

find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE AND NOT QUILLON_FUZZ)
    add_test(NAME desktop_entry COMMAND ${DESKTOP_FILE_VALIDATE} ${packaging}/quillon.desktop)
endif()
