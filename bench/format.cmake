# FormatResult against snprintf("%.2f") and std::to_chars on the same values.
korvalen_add_benchmark(format_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/format_bench.cpp
  LIBS Korvalen::Format)
