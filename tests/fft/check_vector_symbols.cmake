# Checks that each object compiled for a wider instruction set (AVX2) defines exactly one
# global symbol, its entry point. Any other global or weak definition (an inline function or a
# template shared with other sources) could be picked by the linker for the whole program and
# run wider instructions on a processor that lacks them.
#   cmake -DNM=<nm> -DOBJECTS=<obj;obj;...> -P check_vector_symbols.cmake
foreach(object ${OBJECTS})
  if(NOT object MATCHES "zfft1d_avx")
    continue()
  endif()
  execute_process(COMMAND ${NM} --defined-only -C ${object} OUTPUT_VARIABLE listing
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "nm failed on ${object}")
  endif()
  string(REGEX MATCHALL "[^\n]* [TWVDBRu] [^\n]*" globals "${listing}")
  # A debug build's unwinding tables refer to the C++ personality routine through a weak data
  # word (DW.ref.__gxx_personality_v0): a pointer, not code, so no wider instruction can leak.
  list(FILTER globals EXCLUDE REGEX " V DW\\.ref\\.__gxx_personality_v0$")
  list(LENGTH globals count)
  if(NOT count EQUAL 1)
    message(FATAL_ERROR "${object} defines ${count} global symbols, expected only its entry point:\n${globals}")
  endif()
  message(STATUS "${object}: ${globals}")
endforeach()
