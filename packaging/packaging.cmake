# Installing and packaging: the programs (installed by app/), the desktop
# entry and icon of the window, and a Debian package through CPack:
#   cmake --build build --target package      (or: cd build && cpack -G DEB)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The library: headers, libtessora.a, the CMake package tessora::tessora and
# tessora.pc.
install(TARGETS tessora_engine EXPORT tessoraTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        COMPONENT development)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/tessora ${PROJECT_BINARY_DIR}/include/tessora
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development FILES_MATCHING PATTERN "*.hpp")
install(EXPORT tessoraTargets NAMESPACE tessora:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessora
        COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tessoraConfig.cmake.in
  ${PROJECT_BINARY_DIR}/tessoraConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessora)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tessoraConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tessoraConfig.cmake ${PROJECT_BINARY_DIR}/tessoraConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/tessora COMPONENT development)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tessora.pc.in ${PROJECT_BINARY_DIR}/tessora.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/tessora.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

if(TARGET tessora-window)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/tessora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/frame.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/128x128/apps
          RENAME tessora.png)
endif()

set(CPACK_PACKAGE_NAME tessora)
set(CPACK_PACKAGE_VENDOR "TESSORA developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Computes one of 34 resemblance coefficients (distances, similarities, covariance, correlation) for every pair of objects of a table with missing values, comparing each pair on the variables known in both, and writes the matrix to MATRIX.TXT. Comes as a plain console program (tessora), a desktop window (tessora-window) and a C++ library (headers, libtessora.a, CMake package tessora::tessora, tessora.pc).")
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
# The library's users build against Highway's headers and library too.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libhwy-dev, python3, python3-numpy")

include(CPack)
