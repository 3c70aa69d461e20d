# A check whose tool is missing fails with a message saying what to install; it never passes
# by skipping.
function(koralux_require_tool variable tool package)
  find_program(${variable} ${tool} NO_CACHE)
  if(NOT ${variable})
    message(FATAL_ERROR "${tool} is not installed: install the package ${package} "
                        "(scripts/deps.sh does)")
  endif()
  set(${variable} ${${variable}} PARENT_SCOPE)
endfunction()
