# Start-up speed and footprint: the program against a bare Qt Widgets program
# that shows a window of the same size; bench/startup.sh runs them. Plain
# executables, no benchmark library: the time measured is a whole process's.
if(KORVALEN_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(bare-shown ${CMAKE_CURRENT_LIST_DIR}/bare-shown/main.cpp)
  target_link_libraries(bare-shown PRIVATE Qt6::Widgets)
  korvalen_set_warnings(bare-shown)

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
  add_executable(startup-probe ${CMAKE_CURRENT_LIST_DIR}/bare-shown/startup_probe.cpp)
  target_link_libraries(startup-probe PRIVATE PkgConfig::XCB)
  korvalen_set_warnings(startup-probe)
endif()
