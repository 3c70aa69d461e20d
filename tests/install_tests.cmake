# Tests of the desktop integration. Included from the
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
