# SPDX-License-Identifier: MIT
# One interface target carries the language standard, the warnings and the Qt
# defines; every target of the project links it.
add_library(typomat_config INTERFACE)
target_compile_features(typomat_config INTERFACE cxx_std_20)
target_compile_options(typomat_config INTERFACE
  -Wall -Wextra -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual
  $<$<BOOL:${TYPOMAT_WERROR}>:-Werror>)
target_compile_definitions(typomat_config INTERFACE
  QT_NO_KEYWORDS                 # Q_SIGNALS / Q_SLOTS only
  QT_NO_FOREACH
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_CAST_FROM_BYTEARRAY
  QT_DISABLE_DEPRECATED_BEFORE=0x060000)
target_include_directories(typomat_config INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(TYPOMAT_SANITIZE)
  target_compile_options(typomat_config INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined
    # GCC's flow analysis under the sanitizers reports uninitialised reads
    # that are not there (std::variant holding QString).
    $<$<CXX_COMPILER_ID:GNU>:-Wno-maybe-uninitialized>)
  target_link_options(typomat_config INTERFACE -fsanitize=address,undefined)
endif()

# typomat_library(NAME [QT Core|Widgets] LIBS ...): a static library made of
# every .cpp and .h in the calling folder (not its subfolders).
function(typomat_library name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC typomat_config ${ARG_LIBS})
endfunction()
