# Arbitrary lines through the command line's stream mode: parsing, lookup,
# conversion and formatting.
if(TARGET korvalen_cli)
  add_executable(fuzz_cli_stream ${CMAKE_CURRENT_LIST_DIR}/fuzz_cli_stream.cpp)
  target_link_libraries(fuzz_cli_stream PRIVATE korvalen_cli)
  target_link_options(fuzz_cli_stream PRIVATE -fsanitize=fuzzer,address,undefined)
  set_target_properties(fuzz_cli_stream PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  korvalen_set_warnings(fuzz_cli_stream)
endif()
