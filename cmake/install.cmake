# Installs the shared library (with its SONAME links), the header, a
# pkg-config file and a CMake package exporting vokri::vokri_core, and the
# command-line tool when it was built. Components: library, development,
# tools.
include(CMakePackageConfigHelpers)

set(VOKRI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vokri_core)

install(TARGETS vokri_core EXPORT vokri_coreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vokri_core.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT vokri_coreTargets NAMESPACE vokri:: DESTINATION ${VOKRI_CMAKE_DIR} COMPONENT development)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vokri_coreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vokri_coreConfig.cmake INSTALL_DESTINATION ${VOKRI_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vokri_coreConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vokri_coreConfig.cmake ${PROJECT_BINARY_DIR}/vokri_coreConfigVersion.cmake
  DESTINATION ${VOKRI_CMAKE_DIR} COMPONENT development)

# The pkg-config file finds the prefix from its own place, so that
# `cmake --install build --prefix P` yields a working file for any P.
file(RELATIVE_PATH VOKRI_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VOKRI_PC_TO_PREFIX "${VOKRI_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vokri_core.pc.in ${PROJECT_BINARY_DIR}/vokri_core.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/vokri_core.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

if(TARGET vokri-render)
  install(TARGETS vokri-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
