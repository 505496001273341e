include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS korvalen_runtime korvalen_format korvalen_engine
  EXPORT KorvalenTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvalen)

# Public headers keep their folder names, so a consumer writes the same
# #include "engine/ConvUtils.h" as the project itself.
foreach(dir platform/runtime format engine)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir}/
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/korvalen/${dir}
    FILES_MATCHING PATTERN "*.h" PATTERN "*_p.h" EXCLUDE)
endforeach()

install(EXPORT KorvalenTargets
  NAMESPACE Korvalen::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvalen)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KorvalenConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KorvalenConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvalen)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KorvalenConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KorvalenConfig.cmake ${PROJECT_BINARY_DIR}/KorvalenConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Korvalen)

if(KORVALEN_BUILD_GUI)
  include(${PROJECT_SOURCE_DIR}/cmake/KorvalenDesktop.cmake OPTIONAL)
endif()
