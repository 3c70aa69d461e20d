# The Windows installer, built with every Windows build: koralux-VERSION-windows-x64-setup.exe
# beside the zip, made by Debian's NSIS from packaging/windows/koralux.nsi.

find_program(KORALUX_MAKENSIS makensis)
if(NOT KORALUX_MAKENSIS)
  message(FATAL_ERROR "makensis not found: run scripts/deps.sh windows")
endif()
set(KORALUX_INSTALLER
    ${PROJECT_BINARY_DIR}/koralux-${PROJECT_VERSION}-windows-x64-setup.exe)
# The programs go in stripped, as into the zip.
set(koralux_staged ${PROJECT_BINARY_DIR}/installer-files)
add_custom_command(
  OUTPUT ${KORALUX_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${koralux_staged}
  COMMAND ${CMAKE_STRIP} -o ${koralux_staged}/koralux.exe $<TARGET_FILE:koralux>
  COMMAND ${CMAKE_STRIP} -o ${koralux_staged}/koralux-cli.exe $<TARGET_FILE:koralux-cli>
  COMMAND ${KORALUX_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION}
          -DBIN=${koralux_staged} -DSOURCE=${PROJECT_SOURCE_DIR}
          -DOUTFILE=${KORALUX_INSTALLER} ${CMAKE_CURRENT_LIST_DIR}/koralux.nsi
  DEPENDS koralux koralux-cli ${CMAKE_CURRENT_LIST_DIR}/koralux.nsi
          ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
          ${PROJECT_SOURCE_DIR}/ui/resources/koralux.ico
  COMMENT "Making the Windows installer"
  VERBATIM)
add_custom_target(windows-installer ALL DEPENDS ${KORALUX_INSTALLER})

# Silent install and uninstall under Wine, in a prefix of the test's own.
if(KORALUX_BUILD_TESTS)
  add_test(NAME windows_installer
           COMMAND sh ${PROJECT_SOURCE_DIR}/tests/windows_installer_test.sh ${KORALUX_INSTALLER}
                   ${PROJECT_BINARY_DIR}/installer-test)
  set_tests_properties(windows_installer PROPERTIES TIMEOUT 300)
endif()
