# FTP servers for tests of the engine's update from a server.
#
# vossel_ftp_fixture(NAME <fixture> SERVERS <server list>)
# Registers the tests <fixture>_start (FIXTURES_SETUP <fixture>) and
# <fixture>_stop (FIXTURES_CLEANUP <fixture>), which start and stop the servers
# that the SERVERS file lists (see ftp_fixture.sh). Their state, logs and relative
# roots live in ${CMAKE_BINARY_DIR}/ftp/<fixture>; the function also sets
# <fixture>_STATEDIR to that folder in the caller's scope. Does nothing in trees
# whose Windows tests are not run.
#
# A test that uses the servers:
#
#   include(${PROJECT_SOURCE_DIR}/tests/ftp/FtpFixture.cmake)  # if defined elsewhere
#   vossel_ftp_fixture(NAME engine_ftp SERVERS ${CMAKE_CURRENT_SOURCE_DIR}/engine_ftp.servers)
#   vossel_add_wine_test(NAME engine_update_from_server COMMAND ... TIMEOUT 180)
#   set_tests_properties(engine_update_from_server PROPERTIES
#                        FIXTURES_REQUIRED "wine_display;engine_ftp"
#                        RESOURCE_LOCK ftp_port_21
#                        ENVIRONMENT FTP_STATEDIR=${engine_ftp_STATEDIR})
#
# FIXTURES_REQUIRED replaces the list, so keep wine_display in it. Every test
# that talks to a server on port 21 takes the lock ftp_port_21, so fixtures
# with the same addresses never overlap. The test writes the files it wants
# served into the roots (<NAME>_ROOT in $FTP_STATEDIR/servers.env, or the
# folder of that name in the state directory) before its client connects, and
# may read <NAME>_LOG afterwards to see the commands the client sent.
include_guard(GLOBAL)

function(vossel_ftp_fixture)
  cmake_parse_arguments(ARG "" "NAME;SERVERS" "" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_SERVERS)
    message(FATAL_ERROR "vossel_ftp_fixture needs NAME and SERVERS")
  endif()
  set(state ${CMAKE_BINARY_DIR}/ftp/${ARG_NAME})
  set(${ARG_NAME}_STATEDIR ${state} PARENT_SCOPE)
  if(NOT VOSSEL_RUN_WINDOWS_TESTS)
    return()
  endif()
  set(script ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/ftp_fixture.sh)
  add_test(NAME ${ARG_NAME}_start COMMAND ${script} start ${state} ${ARG_SERVERS})
  set_tests_properties(${ARG_NAME}_start PROPERTIES
                       FIXTURES_SETUP ${ARG_NAME} RESOURCE_LOCK ftp_port_21 TIMEOUT 120 LABELS ftp)
  add_test(NAME ${ARG_NAME}_stop COMMAND ${script} stop ${state})
  set_tests_properties(${ARG_NAME}_stop PROPERTIES
                       FIXTURES_CLEANUP ${ARG_NAME} RESOURCE_LOCK ftp_port_21 TIMEOUT 60 LABELS ftp)
endfunction()
