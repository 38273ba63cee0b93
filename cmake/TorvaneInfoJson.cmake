# tvn_write_info_json(<lane> <file> [BUILD_ID <variable>])
# Writes the Info.json of one runtime lane from packaging/Info.json.in, and its build id into
# <variable> when asked.
# The app's resources get the development lane unless release packaging asks for production.
set(TVN_BUNDLE_VERSION 1 CACHE STRING "Build number")
execute_process(COMMAND git rev-parse HEAD WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
  OUTPUT_VARIABLE TVN_SOURCE_SHA OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)

function(tvn_write_info_json lane file)
  cmake_parse_arguments(ARG "" "BUILD_ID" "" ${ARGN})
  if(lane STREQUAL "production")
    set(TVN_APP_NAME "Torvane")
    set(TVN_BUNDLE_ID "com.torvane.mac")
    set(TVN_SERVICE_LABEL "com.torvane.local")
    set(TVN_BROKER_PORT 47381)
    set(TVN_STATE_ROOT_NAME ".torvane")
    set(TVN_LOG_DIR_NAME "Torvane")
  else()
    set(TVN_APP_NAME "Torvane Dev")
    set(TVN_BUNDLE_ID "com.torvane.mac.dev")
    set(TVN_SERVICE_LABEL "com.torvane.local.dev")
    set(TVN_BROKER_PORT 47382)
    set(TVN_STATE_ROOT_NAME ".torvane-dev")
    set(TVN_LOG_DIR_NAME "TorvaneDev")
  endif()
  set(TVN_LANE ${lane})
  # A release names its exact source, so every package has its own build id and each new one
  # refreshes the user's copy of the service.
  set(TVN_BUILD_ID "${PROJECT_VERSION}+${TVN_BUNDLE_VERSION}")
  if(lane STREQUAL "production" AND TVN_SOURCE_SHA)
    string(SUBSTRING ${TVN_SOURCE_SHA} 0 12 sha)
    string(APPEND TVN_BUILD_ID ".${sha}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/packaging/Info.json.in ${file} @ONLY)
  if(ARG_BUILD_ID)
    set(${ARG_BUILD_ID} ${TVN_BUILD_ID} PARENT_SCOPE)
  endif()
endfunction()
