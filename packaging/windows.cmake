# The Windows installer, build-windows/quillon-<version>-setup.exe (make windows-installer):
# quillon.exe and the PDF guide (built here with the Linux tools of docs/), installed by NSIS.
# NSIS rather than an MSI from msitools' wixl: wixl makes no dialogs and runs no program of
# ours, while the installer must send the installation report after an install the user watches
# (and never after a silent one), and NSIS says so in two lines; makensis is Debian's own.
# A build without the window (QUILLON_WINDOW=OFF) has nothing a user would install.
if(NOT TARGET quillon_ui)
    return()
endif()
find_program(MAKENSIS makensis)
if(NOT MAKENSIS OR NOT QUILLON_DOCS_BUILT)
    add_custom_target(installer COMMAND ${CMAKE_COMMAND} -E echo
        "The installer needs makensis (package nsis) and the guide's tools (make deps)" &&
        ${CMAKE_COMMAND} -E false)
    return()
endif()
set(QUILLON_INSTALLER ${PROJECT_BINARY_DIR}/quillon-${PROJECT_VERSION}-setup.exe)
set(script ${CMAKE_CURRENT_LIST_DIR}/windows/quillon.nsi)
# The program installed is stripped: the symbol table of a static Qt is half the file (about
# 20 MB) and tells a user nothing; the build folder keeps the whole one.
set(installed_exe ${PROJECT_BINARY_DIR}/packaging/quillon.exe)
add_custom_command(OUTPUT ${installed_exe}
    COMMAND ${CMAKE_STRIP} -o ${installed_exe} $<TARGET_FILE:quillon>
    DEPENDS quillon
    VERBATIM)
add_custom_command(OUTPUT ${QUILLON_INSTALLER}
    COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DEXE=${installed_exe}
            -DGUIDE=${PROJECT_BINARY_DIR}/quillon.pdf
            -DICON=${PROJECT_BINARY_DIR}/src/app/quillon.ico -DOUTFILE=${QUILLON_INSTALLER}
            ${script}
    DEPENDS ${script} ${installed_exe} docs ${PROJECT_BINARY_DIR}/quillon.pdf
    VERBATIM)
# Built with everything else: the tests install it.
add_custom_target(installer ALL DEPENDS ${QUILLON_INSTALLER})
