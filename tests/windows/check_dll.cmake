# Static checks of the built DLL, read with objdump:
#   cmake -DOBJDUMP=... -DDLL=... -DIMPORTS=expected_imports.txt -P check_dll.cmake
# PE32 for i386, subsystem version 4.0, no TLS directory (nothing that needs
# thread notifications), exactly the two exports by name and ordinal, and
# exactly the imports listed in IMPORTS.
execute_process(COMMAND ${OBJDUMP} -f -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

set(problems "")
function(expect regex what)
  if(NOT dump MATCHES "${regex}")
    set(problems "${problems}\n  ${what}" PARENT_SCOPE)
  endif()
endfunction()

expect("file format pei-i386" "not a PE32 image")
expect("architecture: i386[,\n]" "not for i386")
expect("Magic\t+010b\t[(]PE32[)]" "not PE32 (optional header magic 0x10b)")
expect("MajorSubsystemVersion\t4\n" "subsystem major version is not 4")
expect("MinorSubsystemVersion\t0\n" "subsystem minor version is not 0")
expect("Thread Storage Directory [[][.]tls[]]" "no data directory listing")
if(dump MATCHES "Entry 9 0*[1-9a-f][0-9a-f]* ")
  string(APPEND problems "\n  has a TLS directory")
endif()
expect("Ordinal Base[ \t]+1\n" "ordinal base is not 1")
expect("[[]Ordinal/Name Pointer[]] Table[^\n]*\n\t[[] +0[]] QVNAddonEnd\n\t[[] +1[]] QVNAddonStart\n[^\t]"
       "exports are not exactly QVNAddonEnd @1, QVNAddonStart @2")

# Imports: "DLL Name: X", a heading, then lines "\t<hint-rva>\t <hint>  <name>".
string(REGEX MATCHALL "DLL Name: [^\n]+\n[^\n]+(\n\t[0-9a-f]+\t +[0-9]+ +[^\n]+)*" blocks "${dump}")
set(actual "")
foreach(block IN LISTS blocks)
  string(REGEX MATCH "DLL Name: ([^\n]+)" _ "${block}")
  set(library "${CMAKE_MATCH_1}")
  string(REGEX MATCHALL "\n\t[0-9a-f]+\t +[0-9]+ +[^\n]+" entries "${block}")
  foreach(entry IN LISTS entries)
    string(REGEX REPLACE "\n\t[0-9a-f]+\t +[0-9]+ +" "" function "${entry}")
    list(APPEND actual "${library}!${function}")
  endforeach()
endforeach()
file(STRINGS ${IMPORTS} expected REGEX "^[^#]")
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
  string(REPLACE ";" "\n    " actual_text "${actual}")
  string(APPEND problems "\n  imports differ from ${IMPORTS}; the DLL imports:\n    ${actual_text}")
endif()

if(problems)
  message(FATAL_ERROR "${DLL}:${problems}")
endif()
message(STATUS "${DLL}: PE32 i386, subsystem 4.0, two exports, imports as listed")
