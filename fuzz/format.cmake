# Arbitrary pattern bytes and values through the pattern formatter.
add_executable(fuzz_format_pattern ${CMAKE_CURRENT_LIST_DIR}/fuzz_format_pattern.cpp)
target_link_libraries(fuzz_format_pattern PRIVATE Korvalen::Format)
target_link_options(fuzz_format_pattern PRIVATE -fsanitize=fuzzer,address,undefined)
set_target_properties(fuzz_format_pattern PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
korvalen_set_warnings(fuzz_format_pattern)
