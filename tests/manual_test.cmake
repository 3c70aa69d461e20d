# Keeps a manual page in step with its program: every long option that --help names, the page
# names, and the other way round; and the page formats without a warning.
# cmake -DPROGRAM=path -DPAGE=path -P manual_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/require_tool.cmake)

function(long_options text result)
  string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${text}")
  list(REMOVE_DUPLICATES options)
  list(SORT options)
  set(${result} ${options} PARENT_SCOPE)
endfunction()

execute_process(COMMAND ${PROGRAM} --help RESULT_VARIABLE status OUTPUT_VARIABLE help
                ERROR_VARIABLE errors TIMEOUT 20)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status}):\n${errors}")
endif()
long_options("${help}" from_help)

file(READ ${PAGE} page)
# In roff a hyphen is written \- and fonts are switched with \fB, \fI, \fR, \fP.
string(REPLACE "\\-" "-" page "${page}")
string(REGEX REPLACE "\\\\f[BIRP]" "" page "${page}")
long_options("${page}" from_page)

set(only_help ${from_help})
if(from_page)
  list(REMOVE_ITEM only_help ${from_page})
endif()
set(only_page ${from_page})
if(from_help)
  list(REMOVE_ITEM only_page ${from_help})
endif()
if(only_help OR only_page)
  message(FATAL_ERROR "${PAGE} and ${PROGRAM} --help disagree.\n"
                      "Only in --help: ${only_help}\nOnly in the manual page: ${only_page}")
endif()
if(NOT from_help)
  message(FATAL_ERROR "${PROGRAM} --help names no long option:\n${help}")
endif()

koralux_require_tool(groff groff groff-base)
execute_process(COMMAND ${groff} -man -ww -z ${PAGE} RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not format cleanly:\n${warnings}")
endif()
message(STATUS "${PAGE} and --help agree on: ${from_help}")
