# Runs a freedesktop.org validator over one file: cmake -DCHECK=desktop-entry|metainfo
# -DFILE=path -P validate_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/require_tool.cmake)

if(CHECK STREQUAL "desktop-entry")
  koralux_require_tool(validator desktop-file-validate desktop-file-utils)
  set(command ${validator} ${FILE})
elseif(CHECK STREQUAL "metainfo")
  koralux_require_tool(validator appstreamcli appstream)
  # --pedantic: hints count too; --no-net: the checks must not depend on the network.
  set(command ${validator} validate --no-net --pedantic ${FILE})
else()
  message(FATAL_ERROR "unknown CHECK '${CHECK}'")
endif()

execute_process(COMMAND ${command} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
# desktop-file-validate exits 0 on hints; a hint about our own file is still worth fixing.
if(NOT status EQUAL 0 OR (CHECK STREQUAL "desktop-entry" AND NOT out STREQUAL ""))
  message(FATAL_ERROR "${FILE} does not pass:\n${out}")
endif()
message(STATUS "${FILE}: ${out}")
