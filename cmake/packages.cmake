# The packages, made by CPack from the install rules and named with the project's version:
# a .deb on Linux (make package), a zip on Windows (make windows-package).
set(CPACK_PACKAGE_NAME bmpspectrum)
set(CPACK_PACKAGE_VENDOR "The bmpspectrum developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "show a BMP picture and its spatial-frequency spectrum")
# The long description in lines of at most 80 characters, as Debian wants them.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "bmpspectrum reads a 24-bit BMP picture, lists its headers, takes the"
  "two-dimensional discrete Fourier transform of its largest top-left"
  "power-of-two rectangle and shows the picture and a grey image of its"
  "magnitude spectrum in two windows. Single key presses at the terminal switch"
  "between linear and logarithmic magnitudes, with or without the DC term,"
  "normal or magnified. A batch mode writes the spectrum to a PNG or BMP file.")
# The documents each package adds beside the installed files (see package-documents.cmake).
set(CPACK_BMPSPECTRUM_SOURCE_DIR ${CMAKE_SOURCE_DIR})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package-documents.cmake)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME bmpspectrum-${PROJECT_VERSION}-win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(BMPSPECTRUM_MAINTAINER "The bmpspectrum developers <bmpspectrum@example.org>"
    CACHE STRING "the .deb's maintainer, name and address")
  set(CPACK_PACKAGE_CONTACT ${BMPSPECTRUM_MAINTAINER})
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries' packages as dpkg-shlibdeps finds them; GTK, which only the open dialog
  # loads (without it the terminal's chooser asks), as a recommendation.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS libgtk-3-0)
endif()
include(CPack)
