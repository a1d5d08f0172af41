# Windows test programs run through a wrapper that owns a private Wine prefix
# under the build tree and a display (the caller's, or an Xvfb started by the
# wine_display fixture).
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(VOSSEL_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run)
set(CMAKE_CROSSCOMPILING_EMULATOR ${VOSSEL_WINE_RUN})

if(VOSSEL_RUN_WINDOWS_TESTS)
  add_test(NAME wine_display_start
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/display-fixture.sh start ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_display_start PROPERTIES FIXTURES_SETUP wine_display TIMEOUT 300)
  add_test(NAME wine_display_stop
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/display-fixture.sh stop ${CMAKE_BINARY_DIR})
  set_tests_properties(wine_display_stop PROPERTIES FIXTURES_CLEANUP wine_display TIMEOUT 60)
endif()

# vossel_add_wine_test(NAME <name> COMMAND <target> [args...] [TIMEOUT <s>])
# Registers a test that runs under Wine with the display fixture; does nothing
# in trees whose Windows tests are not run (the i686 build).
function(vossel_add_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT VOSSEL_RUN_WINDOWS_TESTS)
    return()
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${ARG_NAME} COMMAND ${ARG_COMMAND} WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  set_tests_properties(${ARG_NAME} PROPERTIES FIXTURES_REQUIRED wine_display TIMEOUT ${ARG_TIMEOUT})
endfunction()
