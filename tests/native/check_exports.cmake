# Fails unless MODULE's dynamic symbol table defines exactly QVNAddonEnd and
# QVNAddonStart.
execute_process(COMMAND nm -D --defined-only ${MODULE}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "nm failed on ${MODULE}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" names "${symbols}")
string(REPLACE "\n" "" names "${names}")
list(SORT names)
if(NOT names STREQUAL "QVNAddonEnd;QVNAddonStart")
  message(FATAL_ERROR "exported symbols: ${names}")
endif()
