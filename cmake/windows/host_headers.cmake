# Makes the header-only library NAME::NAME from the host's /usr/include/FOLDER, seen by the
# cross-compiler through a folder that holds nothing but a link to it (the host's other headers,
# glibc's among them, must not be found in place of MinGW's).
function(koralux_host_headers name folder)
  if(TARGET ${name}::${name})
    set(${name}_FOUND TRUE PARENT_SCOPE)
    return()
  endif()
  if(NOT EXISTS /usr/include/${folder})
    message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/deps.sh windows")
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers/${name})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK /usr/include/${folder} ${root}/${folder} SYMBOLIC)
  add_library(${name}::${name} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${name}::${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${root}
                                                    INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${root})
  set(${name}_FOUND TRUE PARENT_SCOPE)
endfunction()
