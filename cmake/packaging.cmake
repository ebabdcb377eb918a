# Installs the bridge and its documents, and packages them: a zip for Windows, a Debian package
# elsewhere. The sample desktop application and the test programs are left out.
include(GNUInstallDirs)
if(WIN32)
    set(OXL_INSTALL_BINDIR .)
    set(OXL_INSTALL_DOCDIR .)
else()
    set(OXL_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
    set(OXL_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()
install(TARGETS oxlconsole RUNTIME DESTINATION ${OXL_INSTALL_BINDIR})
install(FILES README.md LICENSE THIRD-PARTY-NOTICES.md DESTINATION ${OXL_INSTALL_DOCDIR})
install(DIRECTORY LICENSES DESTINATION ${OXL_INSTALL_DOCDIR})

set(OXL_MAINTAINER "oxlconsole developers <oxlconsole@users.noreply.invalid>")
if(NOT WIN32)
    # What Debian asks of a package beside the program: a manual page, a changelog and a
    # copyright file in its machine-readable format. gzip -9n leaves out the name and the time
    # stamp, so the same text always gives the same bytes.
    find_program(OXL_GZIP gzip)
    if(NOT OXL_GZIP)
        message(FATAL_ERROR "gzip is needed to compress the manual page and the changelog")
    endif()
    set(oxlPackaging ${CMAKE_CURRENT_BINARY_DIR}/packaging)

    # One entry, for the version being built, dated by SOURCE_DATE_EPOCH when that is set.
    string(TIMESTAMP oxlDate "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(oxlDistribution unstable)
    if(EXISTS /etc/os-release)
        file(STRINGS /etc/os-release oxlCodename REGEX "^VERSION_CODENAME=[a-z]+$")
        string(REPLACE "VERSION_CODENAME=" "" oxlCodename "${oxlCodename}")
        if(oxlCodename)
            set(oxlDistribution ${oxlCodename})
        endif()
    endif()
    file(GENERATE OUTPUT ${oxlPackaging}/changelog CONTENT
"${PROJECT_NAME} (${PROJECT_VERSION}) ${oxlDistribution}; urgency=medium

  * Release ${PROJECT_VERSION} of the ${OXL_PRODUCT_NAME}; the changes are in the
    project's git history.

 -- ${OXL_MAINTAINER}  ${oxlDate}
")

    file(READ ${PROJECT_SOURCE_DIR}/LICENSE oxlLicense)
    string(FIND "${oxlLicense}" "Permission is hereby granted" oxlPermission)
    string(SUBSTRING "${oxlLicense}" ${oxlPermission} -1 oxlLicense)
    string(STRIP "${oxlLicense}" oxlLicense)
    string(REPLACE "\n\n" "\n.\n" oxlLicense "${oxlLicense}")
    string(REPLACE "\n" "\n " oxlLicense "${oxlLicense}")
    string(REGEX REPLACE "^Copyright \\(c\\) " "" oxlCopyright "${OXL_COPYRIGHT}")
    file(GENERATE OUTPUT ${oxlPackaging}/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ${PROJECT_NAME}
Upstream-Contact: ${OXL_MAINTAINER}
Comment: /usr/bin/oxlconsole is linked dynamically against Debian's Qt
 libraries (Qt Core and Qt Network), which this package depends on and does
 not contain. Their own copyright files in /usr/share/doc/ (for Qt 5, those of
 libqt5core5a and libqt5network5) give their terms; oxlconsole uses Qt under
 the GNU Lesser General Public License version 3, whose text is in
 /usr/share/common-licenses/LGPL-3.
 .
 The Windows build of oxlconsole, a separate zip file, contains Qt and other
 third-party code linked statically. THIRD-PARTY-NOTICES.md and LICENSES/ in
 this directory describe that build and hold the licence texts for it; none of
 that code is in this package.

Files: *
Copyright: ${oxlCopyright}
License: Expat
Comment: The MIT licence, as in /usr/share/doc/oxlconsole/LICENSE.

License: Expat
 ${oxlLicense}
")

    add_custom_command(OUTPUT ${oxlPackaging}/changelog.gz
        COMMAND ${OXL_GZIP} -9nkf changelog
        DEPENDS ${oxlPackaging}/changelog
        WORKING_DIRECTORY ${oxlPackaging}
        VERBATIM)
    add_custom_command(OUTPUT ${oxlPackaging}/oxlconsole.1.gz
        COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/oxlconsole.1 oxlconsole.1
        COMMAND ${OXL_GZIP} -9nf oxlconsole.1
        DEPENDS ${PROJECT_SOURCE_DIR}/docs/oxlconsole.1
        WORKING_DIRECTORY ${oxlPackaging}
        VERBATIM)
    add_custom_target(packagingdocuments ALL
        DEPENDS ${oxlPackaging}/changelog.gz ${oxlPackaging}/oxlconsole.1.gz)
    install(FILES ${oxlPackaging}/changelog.gz ${oxlPackaging}/copyright
        DESTINATION ${OXL_INSTALL_DOCDIR})
    install(FILES ${oxlPackaging}/oxlconsole.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "the oxlconsole developers")
set(CPACK_PACKAGE_CONTACT "${OXL_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES TRUE)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win64)
    else()
        set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-win32)
    endif()
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION utils)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # CPack puts the summary before this as the first line, and a space before each of these
    # lines, which Debian wants shorter than 80 columns.
    set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The ${OXL_PRODUCT_NAME} lets a program that talks only over its
standard input and output work with the OXL desktop application. Started
with the argument Calyxen, oxlconsole forwards each line written to its
standard input to the desktop application over the local socket OXL, and
writes the texts the desktop application sends back to its standard output.")
endif()
include(CPack)
