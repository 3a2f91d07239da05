# Installing the libraries, so that another project can consume them:
#
#   find_package(pier_cage 0.1 REQUIRED)
#   target_link_libraries(app PRIVATE pier::cage_single)
#
# The headers go to <prefix>/include/pier (included as "cage/cage_single.h"),
# the libraries to <prefix>/lib, the plug-in module and the tool's folder to
# <prefix>/lib/pier/plugin, the host program to <prefix>/bin.
include(CMakePackageConfigHelpers)

get_property(pier_targets GLOBAL PROPERTY PIER_INSTALLED_TARGETS)
install(TARGETS ${pier_targets}
  EXPORT pier_cage_targets
  ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}"
  LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}")
install(DIRECTORY host common shapes placement cage analysis tool
  DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}/pier"
  FILES_MATCHING PATTERN "*.h")
install(EXPORT pier_cage_targets
  NAMESPACE pier::
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/cmake/pier_cage")

configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/pier_cageConfig.cmake.in"
  "${PROJECT_BINARY_DIR}/pier_cageConfig.cmake"
  INSTALL_DESTINATION "${CMAKE_INSTALL_LIBDIR}/cmake/pier_cage")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/pier_cageConfigVersion.cmake"
  COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/pier_cageConfig.cmake"
              "${PROJECT_BINARY_DIR}/pier_cageConfigVersion.cmake"
  DESTINATION "${CMAKE_INSTALL_LIBDIR}/cmake/pier_cage")

set(pier_plugin_install_dir "${CMAKE_INSTALL_LIBDIR}/pier/plugin")
install(TARGETS piertool_plugin LIBRARY DESTINATION "${pier_plugin_install_dir}")
install(DIRECTORY "${PIER_TOOL_DIR}" DESTINATION "${pier_plugin_install_dir}")
set_target_properties(piertool_plugin PROPERTIES INSTALL_RPATH "$ORIGIN/../..")
if(TARGET pierhost)
  install(TARGETS pierhost RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  set_target_properties(pierhost PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
endif()
