# nlohmann-json for the Windows build: the header-only library of Debian's nlohmann-json3-dev.
include(${CMAKE_CURRENT_LIST_DIR}/host_headers.cmake)
koralux_host_headers(nlohmann_json nlohmann)
file(STRINGS /usr/include/nlohmann/detail/abi_macros.hpp versionLines
     REGEX "#define NLOHMANN_JSON_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+")
set(nlohmann_json_VERSION "")
foreach(line ${versionLines})
  string(REGEX REPLACE "^#define [A-Z_]+ +([0-9]+).*$" "\\1" part "${line}")
  string(APPEND nlohmann_json_VERSION ".${part}")
endforeach()
string(SUBSTRING "${nlohmann_json_VERSION}" 1 -1 nlohmann_json_VERSION)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(nlohmann_json REQUIRED_VARS nlohmann_json_VERSION
                                  VERSION_VAR nlohmann_json_VERSION)
