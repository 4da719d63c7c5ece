# Installs the shared library (with its SONAME links), the header, a
# pkg-config file and a CMake package exporting vokri::vokri_core, and, when
# they were built, the scene library (vokri::vokri_scenefile, its header and
# pkg-config file) and the command-line tool. Components: library,
# development, tools.
#
# The build tree gets a working CMake package of its own (export()):
# find_package(vokri_core) with vokri_core_DIR set to the build folder
# finds the targets there. The pkg-config files only make sense installed,
# so they are generated into a private folder, not beside it.
include(CMakePackageConfigHelpers)

set(VOKRI_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/vokri_core)
set(VOKRI_STAGING ${PROJECT_BINARY_DIR}/CMakeFiles/vokri-install)

set(VOKRI_INSTALLED_LIBRARIES vokri_core)
if(TARGET vokri_scenefile)
  list(APPEND VOKRI_INSTALLED_LIBRARIES vokri_scenefile)
  install(FILES ${PROJECT_SOURCE_DIR}/scenefile/include/vokri_scenefile.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
  # The TeX converter (its script and pinned packages; node_modules too
  # when `npm ci` has run in the source tree, else run it in the installed
  # folder).
  install(FILES ${PROJECT_SOURCE_DIR}/scenefile/tex/convert.mjs ${PROJECT_SOURCE_DIR}/scenefile/tex/package.json
                ${PROJECT_SOURCE_DIR}/scenefile/tex/package-lock.json
          DESTINATION ${CMAKE_INSTALL_DATADIR}/vokri/tex)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/scenefile/tex/node_modules DESTINATION ${CMAKE_INSTALL_DATADIR}/vokri/tex
          OPTIONAL)
endif()
install(TARGETS ${VOKRI_INSTALLED_LIBRARIES} EXPORT vokri_coreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/vokri_core.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT vokri_coreTargets NAMESPACE vokri:: DESTINATION ${VOKRI_CMAKE_DIR} COMPONENT development)
export(EXPORT vokri_coreTargets NAMESPACE vokri:: FILE ${PROJECT_BINARY_DIR}/vokri_coreTargets.cmake)

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/vokri_coreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/vokri_coreConfig.cmake INSTALL_DESTINATION ${VOKRI_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/vokri_coreConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/vokri_coreConfig.cmake ${PROJECT_BINARY_DIR}/vokri_coreConfigVersion.cmake
  DESTINATION ${VOKRI_CMAKE_DIR} COMPONENT development)

# The pkg-config files find the prefix from their own place, so that
# `cmake --install build --prefix P` yields working files for any P.
file(RELATIVE_PATH VOKRI_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" VOKRI_PC_TO_PREFIX "${VOKRI_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/vokri_core.pc.in ${VOKRI_STAGING}/vokri_core.pc @ONLY)
install(FILES ${VOKRI_STAGING}/vokri_core.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)
if(TARGET vokri_scenefile)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/vokri_scenefile.pc.in ${VOKRI_STAGING}/vokri_scenefile.pc @ONLY)
  install(FILES ${VOKRI_STAGING}/vokri_scenefile.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
    COMPONENT development)
endif()

if(TARGET vokri-render)
  install(TARGETS vokri-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
endif()
