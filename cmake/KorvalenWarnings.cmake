# The project's own code builds with these warnings; with KORVALEN_WERROR they
# are errors. Third-party headers come in as system includes and are not affected.
function(korvalen_set_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
    # -Wnull-dereference is left out: GCC 12 at -O3 reports it inside inlined
    # Qt and libstdc++ code that is not ours.
    -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast -Wcast-align
    -Wdouble-promotion -Wimplicit-fallthrough)
  if(KORVALEN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
