# CLI11 for the Windows build: the header-only library of Debian's libcli11-dev, its folder
# reached through a folder of its own so that the rest of the host's headers stay out of sight.
include(${CMAKE_CURRENT_LIST_DIR}/host_headers.cmake)
koralux_host_headers(CLI11 CLI)
