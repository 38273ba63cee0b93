# tvn_add_qtest(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>]
#               [RESOURCE_LOCK <locks...>] [TIMEOUT <seconds>] [WRAPPER <command...>])
# One QtTest executable per unit. Tests that start the real local service carry the
# label "integration"; tests that bind the broker port share the "broker_port" lock.
# WRAPPER runs the test under a command (e.g. dbus-run-session with a private bus).
function(tvn_add_qtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;WRAPPER" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_compile_definitions(${name} PRIVATE
    TVN_SOURCE_DIR="${PROJECT_SOURCE_DIR}" TVN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${T_WRAPPER} $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;TSS2_LOG=all+none;QTWEBENGINE_DISABLE_SANDBOX=1")
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
endfunction()
