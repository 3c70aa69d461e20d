# Installs the build into a temporary DESTDIR under prefix /usr and checks that every file
# lands in its standard place and nothing else is installed; then checks the installed tree as
# the desktop would see it: the software-centre data with the desktop entry and icons it
# names, the file type in a freshly built MIME database, the programs running.
# cmake -DBUILD_DIR=... -DSTAGE=... -DVERSION=... -DGUI=ON|OFF -DDESKTOP=ON|OFF
#       -P install_layout_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/require_tool.cmake)

file(REMOVE_RECURSE ${STAGE})
execute_process(COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${STAGE}
                        ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${out}")
endif()

set(expected
    usr/bin/koralux-cli
    usr/share/doc/koralux/changelog.gz
    usr/share/doc/koralux/copyright
    usr/share/man/man1/koralux-cli.1.gz
    usr/share/mime/packages/koralux.xml)
if(GUI)
  list(APPEND expected usr/bin/koralux)
endif()
if(DESKTOP)
  list(APPEND expected
       usr/share/applications/koralux.desktop
       usr/share/icons/hicolor/scalable/apps/koralux.svg
       usr/share/man/man1/koralux.1.gz
       usr/share/metainfo/org.koralux.koralux.metainfo.xml)
  foreach(size 16 32 48 64 128 256)
    list(APPEND expected usr/share/icons/hicolor/${size}x${size}/apps/koralux.png)
  endforeach()
endif()
file(GLOB_RECURSE installed RELATIVE ${STAGE} ${STAGE}/*)
list(SORT expected)
list(SORT installed)
if(NOT installed STREQUAL expected)
  set(missing ${expected})
  set(extra ${installed})
  if(installed)
    list(REMOVE_ITEM missing ${installed})
  endif()
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "Installed files differ.\nMissing: ${missing}\nNot expected: ${extra}")
endif()

# Each icon is the size its folder says (the PNG header holds width and height).
foreach(size 16 32 48 64 128 256)
  set(icon ${STAGE}/usr/share/icons/hicolor/${size}x${size}/apps/koralux.png)
  if(EXISTS ${icon})
    file(READ ${icon} header OFFSET 16 LIMIT 8 HEX)
    math(EXPR hex "${size}" OUTPUT_FORMAT HEXADECIMAL)  # 0x10
    string(SUBSTRING "${hex}" 2 -1 digits)
    string(LENGTH "${digits}" length)
    math(EXPR pad "8 - ${length}")
    string(REPEAT "0" ${pad} zeros)
    string(TOLOWER "${zeros}${digits}${zeros}${digits}" want)
    if(NOT header STREQUAL want)
      message(FATAL_ERROR "${icon} is not ${size}x${size} (header ${header})")
    endif()
  endif()
endforeach()

execute_process(COMMAND ${STAGE}/usr/bin/koralux-cli --version
                RESULT_VARIABLE status OUTPUT_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out STREQUAL "koralux-cli ${VERSION}\n")
  message(FATAL_ERROR "the installed koralux-cli --version says: ${out}")
endif()

# A freshly built MIME database knows *.evt, in any case.
koralux_require_tool(update_mime update-mime-database shared-mime-info)
execute_process(COMMAND ${CMAKE_COMMAND} -E env XDG_DATA_DIRS=${STAGE}/usr/share
                        ${update_mime} ${STAGE}/usr/share/mime
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR NOT out STREQUAL "")
  message(FATAL_ERROR "update-mime-database complains:\n${out}")
endif()
file(STRINGS ${STAGE}/usr/share/mime/globs2 globs REGEX "electone")
if(NOT globs MATCHES "^[0-9]+:audio/x-electone-performance:\\*\\.evt$")
  message(FATAL_ERROR "globs2 should hold the case-insensitive *.evt glob: '${globs}'")
endif()
file(READ ${STAGE}/usr/share/mime/audio/x-electone-performance.xml type)
if(NOT type MATCHES "<comment>Electone performance file</comment>")
  message(FATAL_ERROR "the type's comment is missing:\n${type}")
endif()

if(DESKTOP)
  file(READ ${STAGE}/usr/share/metainfo/org.koralux.koralux.metainfo.xml metainfo)
  if(NOT metainfo MATCHES "<release version=\"${VERSION}\"")
    message(FATAL_ERROR "the metainfo's newest release is not ${VERSION}")
  endif()
  # Checks the metainfo together with the desktop entry and icons it leads to.
  koralux_require_tool(appstreamcli appstreamcli appstream)
  execute_process(COMMAND ${appstreamcli} validate-tree --no-net --pedantic ${STAGE}/usr
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate-tree:\n${out}")
  endif()
endif()
message(STATUS "installed as expected: ${installed}")
