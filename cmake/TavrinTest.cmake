# SPDX-License-Identifier: GPL-2.0-or-later
# tavrin_add_test(NAME SOURCES ... LIBS ... [LABELS ...] [WRAPPER command ...])
# Builds one test binary and registers it with CTest. Every test runs with the
# offscreen Qt platform and a UTF-8 locale, so GUI tests need no display and
# texts compare the same on every machine. Real drives stay out of every
# test (STARBURN_REAL_DRIVES=0) unless a test switches them on itself, and
# the user's own settings are never touched (XDG_CONFIG_HOME in the build).
# The language is English (LANGUAGE and the LC_ variables cleared) unless
# a test asks for another in ENVIRONMENT.
# WRAPPER runs the test inside another command (dbus-run-session --).
function(tavrin_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENVIRONMENT;WRAPPER" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  tavrin_compile_options(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests)
  add_test(NAME ${name} COMMAND ${T_WRAPPER} $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${name} PROPERTIES
    # A user's own remembered choices (~/.config/tavrin) never reach a test.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LANGUAGE=;LC_ALL=;LC_MESSAGES=;STARBURN_REAL_DRIVES=0;XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/tests/no-config;${T_ENVIRONMENT}"
    TIMEOUT ${T_TIMEOUT}
    LABELS "${T_LABELS}")
endfunction()
