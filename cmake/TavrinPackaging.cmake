# Debian packages, built with `cpack -G DEB` in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr: tavrin-repair (the command-line program, no Qt) and
# tavrin-lumiq (the desktop program with its help, icons, desktop entry and metainfo).
# The library dependencies are computed by dpkg-shlibdeps.
set(CPACK_PACKAGE_NAME "tavrin-lumiq")
set(CPACK_PACKAGE_VENDOR "Tavrin Lumiq")
set(CPACK_PACKAGE_CONTACT "Tavrin Lumiq <support@tavrinlumiq.example>")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tavrinlumiq.example/lumiq/")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL repair)
if(TAVRIN_BUILD_GUI)
  list(APPEND CPACK_COMPONENTS_ALL desktop)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")

set(CPACK_DEBIAN_REPAIR_PACKAGE_NAME "tavrin-repair")
# The summary line of both packages is CPACK_PACKAGE_DESCRIPTION_SUMMARY; these are
# the bodies below it.
set(CPACK_DEBIAN_REPAIR_DESCRIPTION "The command-line program tavrin-repair finds every member of a damaged
.odb package by its local header, extracts it, completes the embedded HSQLDB
database and writes a rebuilt package that LibreOffice opens. The source file
is never changed.")

set(CPACK_DEBIAN_DESKTOP_PACKAGE_NAME "tavrin-lumiq")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SECTION "database")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_RECOMMENDS "xdg-utils, fonts-liberation2, fonts-dejavu-core")
set(CPACK_DEBIAN_DESKTOP_PACKAGE_SUGGESTS "tavrin-repair, libreoffice-base")
set(CPACK_DEBIAN_DESKTOP_DESCRIPTION "The desktop program Tavrin Lumiq lists damaged .odb files, repairs them,
previews each repaired database and writes rebuilt packages that LibreOffice
opens, telling for each file whether it was repaired whole or with losses.")

include(CPack)
