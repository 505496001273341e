# The conversion engine against the bare arithmetic it wraps, and one thread
# against two.
korvalen_add_benchmark(engine_bench
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_bench.cpp
  LIBS Korvalen::Engine)
