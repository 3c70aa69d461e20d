# Builds the Debian package from the build tree and checks what apt will read: the name and
# version, the dependencies found by dpkg-shlibdeps (and Qt's platform plugins, which no link
# names), that it carries the programs and the desktop files, and that lintian finds no error
# and no warning in it.
# cmake -DBUILD_DIR=... -DOUT=... -DVERSION=... -DGUI=ON|OFF -DDESKTOP=ON|OFF -P package_test.cmake
include(${CMAKE_CURRENT_LIST_DIR}/require_tool.cmake)
koralux_require_tool(dpkg_deb dpkg-deb dpkg)
koralux_require_tool(shlibdeps dpkg-shlibdeps dpkg-dev)
koralux_require_tool(lintian lintian lintian)

file(REMOVE_RECURSE ${OUT})
execute_process(COMMAND ${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake
                        -B ${OUT}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB packages ${OUT}/*.deb)
list(LENGTH packages count)
if(NOT status EQUAL 0 OR NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made no package:\n${out}")
endif()

execute_process(COMMAND ${dpkg_deb} --field ${packages} Package Version Depends
                OUTPUT_VARIABLE control RESULT_VARIABLE status)
set(wanted "Package: koralux" "Version: ${VERSION}" "libc6 \\(>=" "libstdc\\+\\+6")
if(GUI)
  list(APPEND wanted "libqt6widgets6" "libqt6core6" "qt6-qpa-plugins")
endif()
foreach(pattern ${wanted})
  if(NOT control MATCHES "${pattern}")
    message(FATAL_ERROR "the package's control lacks ${pattern}:\n${control}")
  endif()
endforeach()

execute_process(COMMAND ${dpkg_deb} --contents ${packages} OUTPUT_VARIABLE contents)
set(files ./usr/bin/koralux-cli ./usr/share/man/man1/koralux-cli.1.gz
          ./usr/share/mime/packages/koralux.xml ./usr/share/doc/koralux/copyright
          ./usr/share/doc/koralux/changelog.gz)
if(GUI)
  list(APPEND files ./usr/bin/koralux)
endif()
if(DESKTOP)
  list(APPEND files ./usr/share/applications/koralux.desktop
       ./usr/share/metainfo/org.koralux.koralux.metainfo.xml
       ./usr/share/icons/hicolor/48x48/apps/koralux.png)
endif()
foreach(path ${files})
  string(FIND "${contents}" " ${path}\n" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the package lacks ${path}:\n${contents}")
  endif()
endforeach()

# The newest changelog entry is this version's.
execute_process(COMMAND ${dpkg_deb} --fsys-tarfile ${packages}
                COMMAND tar -xO ./usr/share/doc/koralux/changelog.gz
                COMMAND gzip -dc
                OUTPUT_VARIABLE changelog RESULT_VARIABLE status)
if(NOT changelog MATCHES "^koralux \\(${VERSION}\\) ")
  message(FATAL_ERROR "the changelog's newest entry is not ${VERSION}:\n${changelog}")
endif()

execute_process(COMMAND ${lintian} --fail-on error,warning --tag-display-limit 0 ${packages}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "lintian finds fault with the package:\n${out}")
endif()
message(STATUS "${packages}\n${control}${out}")
