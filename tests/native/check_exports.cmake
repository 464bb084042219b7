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

# A start writes nothing but its record: the module calls no output function.
execute_process(COMMAND nm -D --undefined-only ${MODULE} OUTPUT_VARIABLE imports)
foreach(output printf puts fputs fwrite fprintf vfprintf perror syslog vsyslog putchar dprintf)
  if(imports MATCHES "[ \n]${output}(@|\n)")
    message(FATAL_ERROR "the module calls ${output}")
  endif()
endforeach()
