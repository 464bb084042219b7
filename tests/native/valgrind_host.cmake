# Runs qvnhost with the module under valgrind's memcheck, with a per-user
# setting pointing at a log that ends in an end-of-file mark, and fails on any
# error valgrind finds, any leak, or a log other than the mark replaced by
# three records.
#   cmake -DVALGRIND=... -DHOST=... -DMODULE=... -DWORK=DIR -P valgrind_host.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY "${WORK}/user/Harlowick Systems")
file(WRITE "${WORK}/user/Harlowick Systems/Quillvane v2.conf" "StartLogFile=${WORK}/start.log\n")
string(ASCII 26 mark)
file(WRITE ${WORK}/start.log "OLD\r\n${mark}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env XDG_CONFIG_DIRS=${WORK}/machine XDG_CONFIG_HOME=${WORK}/user
          COMPUTERNAME=WS-017
          ${VALGRIND} --tool=memcheck --error-exitcode=99 --leak-check=full
          --errors-for-leak-kinds=definite,indirect,possible
          ${HOST} ${MODULE} start start end start
  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE report)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "valgrind: exit status ${status}\n${report}")
endif()
if(NOT output STREQUAL "QVNAddonStart 1\nQVNAddonStart 1\nQVNAddonEnd 1\nQVNAddonStart 1\n")
  message(FATAL_ERROR "qvnhost printed:\n${output}")
endif()

# Matched in hex: file(READ) as text drops the CRs.
file(READ ${WORK}/start.log log HEX)
set(dd "3[0-9]3[0-9]")
# WS-017 TAB dd / dd / dd TAB dd : dd : dd CR LF
set(record "57532d30313709${dd}2f${dd}2f${dd}09${dd}3a${dd}3a${dd}0d0a")
# OLD CR LF, then the records
if(NOT log MATCHES "^4f4c440d0a${record}${record}${record}$")
  message(FATAL_ERROR "log after the starts, in hex:\n${log}")
endif()
file(REMOVE_RECURSE ${WORK})
