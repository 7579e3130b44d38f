# Installing and packaging: the programs (installed by app/), the desktop
# entry and icon of the window, and a Debian package through CPack:
#   cmake --build build --target package      (or: cd build && cpack -G DEB)
include(GNUInstallDirs)

if(TARGET tessora-window)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/tessora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/frame.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
          RENAME tessora.png)
endif()

set(CPACK_PACKAGE_NAME tessora)
set(CPACK_PACKAGE_VENDOR "TESSORA developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Computes one of 34 resemblance coefficients (distances, similarities, covariance, correlation) for every pair of objects of a table with missing values, comparing each pair on the variables known in both, and writes the matrix to MATRIX.TXT. Comes as a plain console program (tessora) and a desktop window (tessora-window).")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "TESSORA developers <tessora@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The library dependencies (Qt for the window) are read off the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
