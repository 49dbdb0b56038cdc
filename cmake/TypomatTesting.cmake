# SPDX-License-Identifier: MIT
# Sanitizer builds: leaks inside system libraries are not reported. The
# programs the tests start inherit this.
if(TYPOMAT_SANITIZE)
  set(TYPOMAT_SANITIZER_ENV
    "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0")
endif()

# typomat_add_tests(LIBS ...): every tst_<label>_<name>.cpp in the calling
# folder becomes one test executable with the CTest label <label>
# (unit, gui or e2e). Unit and gui tests run on the offscreen platform; e2e
# tests start their own X server.
function(typomat_add_tests)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tst_*.cpp)
  foreach(src IN LISTS tests)
    get_filename_component(name ${src} NAME_WE)
    string(REGEX MATCH "^tst_([a-z0-9]+)_" _ ${name})
    set(label ${CMAKE_MATCH_1})
    if(NOT label MATCHES "^(unit|gui|e2e)$")
      message(FATAL_ERROR "${src}: test files are named tst_unit_*, tst_gui_* or tst_e2e_*")
    endif()
    add_executable(${name} ${src})
    target_link_libraries(${name} PRIVATE typomat_config typomat_testsupport Qt6::Test ${ARG_LIBS})
    add_test(NAME ${name} COMMAND ${name})
    set(env "TYPOMAT_EXE=$<TARGET_FILE:typomat>" ${TYPOMAT_SANITIZER_ENV})
    if(NOT label STREQUAL "e2e")
      list(APPEND env "QT_QPA_PLATFORM=offscreen")
    endif()
    set_tests_properties(${name} PROPERTIES LABELS ${label} ENVIRONMENT "${env}"
      TIMEOUT 600)
  endforeach()
endfunction()
