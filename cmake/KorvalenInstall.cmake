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

# The programs, their manual pages and the changelog, for people who run them
# (the "program" component, which is what the Debian package holds).
if(TARGET korvalen-convert)
  install(TARGETS korvalen-convert
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT program)
endif()

# Manual pages are written once, in scdoc, and turned into roff at build
# time; Debian wants them and the changelog compressed with gzip -9n, which
# keeps no name or time stamp, so the package is reproducible.
find_program(KORVALEN_SCDOC scdoc)
find_program(KORVALEN_GZIP gzip REQUIRED)
set(_korvalen_docs)
foreach(program korvalen-convert korvalen-converter)
  if(NOT TARGET ${program})
    continue()
  endif()
  if(NOT KORVALEN_SCDOC)
    message(WARNING "scdoc was not found: the manual page of ${program} is not built")
    continue()
  endif()
  set(source ${PROJECT_SOURCE_DIR}/docs/${program}.1.scd)
  set(page ${PROJECT_BINARY_DIR}/man/${program}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
    COMMAND sh -c "\"$1\" < \"$2\" > \"$3\" && \"$4\" -9nf \"$3\""
      sh ${KORVALEN_SCDOC} ${source} ${page} ${KORVALEN_GZIP}
    DEPENDS ${source}
    COMMENT "Manual page ${program}(1)"
    VERBATIM)
  list(APPEND _korvalen_docs ${page}.gz)
  install(FILES ${page}.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT program)
endforeach()
set(_korvalen_changelog ${PROJECT_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${_korvalen_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packaging
  COMMAND sh -c "\"$1\" -9nc < \"$2\" > \"$3\"" sh ${KORVALEN_GZIP}
    ${PROJECT_SOURCE_DIR}/packaging/changelog ${_korvalen_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
list(APPEND _korvalen_docs ${_korvalen_changelog})
add_custom_target(korvalen_docs ALL DEPENDS ${_korvalen_docs})
install(FILES ${_korvalen_changelog}
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/korvalen-converter
  COMPONENT program)

if(KORVALEN_BUILD_GUI)
  include(${PROJECT_SOURCE_DIR}/cmake/KorvalenDesktop.cmake OPTIONAL)
endif()
