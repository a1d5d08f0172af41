# Header-only libraries from Debian packages (nlohmann-json3-dev, libcli11-dev)
# for every preset. The cross compilers must not search /usr/include as a
# whole, so each library's own folder is linked into a folder of the build
# tree and only that folder is put on the include path.
include_guard(GLOBAL)

# vossel_use_debian_headers(target folder...): folder is a folder of
# /usr/include (nlohmann, CLI) the target includes as <folder/...>.
function(vossel_use_debian_headers target)
  set(headers ${CMAKE_BINARY_DIR}/debian-headers)
  foreach(folder IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${folder})
      message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/setup.sh")
    endif()
    if(NOT EXISTS ${headers}/${folder})
      file(MAKE_DIRECTORY ${headers})
      file(CREATE_LINK /usr/include/${folder} ${headers}/${folder} SYMBOLIC)
    endif()
  endforeach()
  target_include_directories(${target} SYSTEM PRIVATE ${headers})
endfunction()
