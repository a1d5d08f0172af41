# Header-only libraries from Debian packages (nlohmann-json3-dev, libcli11-dev)
# for every preset. The cross compilers must not search /usr/include as a
# whole, so each library's own folder is linked into a folder of the build
# tree and only that folder is put on the include path.
include_guard(GLOBAL)

set(VOSSEL_DEBIAN_HEADERS ${CMAKE_BINARY_DIR}/debian-headers)

# vossel_use_debian_headers(target folder...): folder is a folder of
# /usr/include (nlohmann, CLI) the target includes as <folder/...>.
function(vossel_use_debian_headers target)
  foreach(folder IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${folder})
      message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup.sh")
    endif()
    if(NOT EXISTS ${VOSSEL_DEBIAN_HEADERS}/${folder})
      file(MAKE_DIRECTORY ${VOSSEL_DEBIAN_HEADERS})
      file(CREATE_LINK /usr/include/${folder} ${VOSSEL_DEBIAN_HEADERS}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PRIVATE ${VOSSEL_DEBIAN_HEADERS})
endfunction()
