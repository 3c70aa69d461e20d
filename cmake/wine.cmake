# The Wine prefix in which the Windows build's programs run (tests, and gtest_discover_tests at
# build time). Made once, at configure time: Wine's first start in a new prefix takes several
# seconds and must not race with itself when two test programs start at once.
if(NOT EXISTS ${KORALUX_WINEPREFIX}/system.reg)
  message(STATUS "Making the Wine prefix ${KORALUX_WINEPREFIX}")
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEDEBUG=-all WINEPREFIX=${KORALUX_WINEPREFIX}
                          wineboot --init
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_QUIET)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${KORALUX_WINEPREFIX} wineserver -w)
  if(NOT status EQUAL 0 OR NOT EXISTS ${KORALUX_WINEPREFIX}/system.reg)
    message(FATAL_ERROR "wineboot could not make ${KORALUX_WINEPREFIX}: run scripts/deps.sh windows")
  endif()
endif()
