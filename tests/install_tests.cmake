# Tests of the desktop integration, the manual pages and the installed layout. Included from the
# top-level CMakeLists after every program's target exists.

set(koralux_tests ${PROJECT_SOURCE_DIR}/tests)

add_test(NAME desktop_entry_valid
         COMMAND ${CMAKE_COMMAND} -DCHECK=desktop-entry
                 -DFILE=${PROJECT_SOURCE_DIR}/desktop/koralux.desktop
                 -P ${koralux_tests}/validate_test.cmake)
add_test(NAME metainfo_valid
         COMMAND ${CMAKE_COMMAND} -DCHECK=metainfo
                 -DFILE=${PROJECT_SOURCE_DIR}/desktop/org.koralux.koralux.metainfo.xml
                 -P ${koralux_tests}/validate_test.cmake)

# PROGRAM is a list: under a cross-compiling emulator (Wine) the program runs through it.
add_test(NAME manual_koralux_cli
         COMMAND ${CMAKE_COMMAND} "-DPROGRAM=${CMAKE_CROSSCOMPILING_EMULATOR};$<TARGET_FILE:koralux-cli>"
                 -DPAGE=${PROJECT_BINARY_DIR}/doc/koralux-cli.1
                 -P ${koralux_tests}/manual_test.cmake)
# The Windows dialog is a window program without a console: it has no --help to compare.
if(TARGET koralux AND NOT WIN32)
  add_test(NAME manual_koralux
           COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:koralux>
                   -DPAGE=${PROJECT_BINARY_DIR}/doc/koralux.1
                   -P ${koralux_tests}/manual_test.cmake)
  set_tests_properties(manual_koralux PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen
                                                 TIMEOUT 60)
endif()

if(TARGET koralux)
  set(koralux_gui ON)
else()
  set(koralux_gui OFF)
endif()
# The installed layout and the Debian package are Linux's; Windows has its zip.
if(WIN32)
  return()
endif()
add_test(NAME install_layout
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DSTAGE=${PROJECT_BINARY_DIR}/install-test -DVERSION=${PROJECT_VERSION}
                 -DGUI=${koralux_gui} -DDESKTOP=${KORALUX_BUILD_UI}
                 -P ${koralux_tests}/install_layout_test.cmake)
add_test(NAME package_deb
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DOUT=${PROJECT_BINARY_DIR}/package-test -DVERSION=${PROJECT_VERSION}
                 -DGUI=${koralux_gui} -DDESKTOP=${KORALUX_BUILD_UI}
                 -DCMAKE_CPACK_COMMAND=${CMAKE_CPACK_COMMAND}
                 -P ${koralux_tests}/package_test.cmake)
