# The baseline of bench/guard-startup.sh, which times a later instance of
# the program from exec to exit against it. A plain executable: the time
# measured is a whole process's.
if(KORVALEN_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_executable(bare-qt ${CMAKE_CURRENT_LIST_DIR}/bare-qt/main.cpp)
  target_link_libraries(bare-qt PRIVATE Qt6::Widgets)
  korvalen_set_warnings(bare-qt)
endif()
