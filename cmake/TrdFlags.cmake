# Every target of ours links trd_flags so that all of them compile alike.
add_library(trd_flags INTERFACE)
target_compile_options(trd_flags INTERFACE
  -Wall -Wextra -Wnon-virtual-dtor -Wold-style-cast -Wno-unused-parameter)
target_compile_definitions(trd_flags INTERFACE
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_FOREACH)

if(TRD_SANITIZE)
  target_compile_options(trd_flags INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(trd_flags INTERFACE -fsanitize=address,undefined)
endif()

if(TRD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "TRD_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  target_compile_options(trd_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(trd_flags INTERFACE -fsanitize=address,undefined)
endif()

# add_trd_test(name [QT] SOURCES... LIBS...): one GoogleTest executable run by CTest.
# QT gives it a main that owns a QApplication; widget tests run offscreen so that
# the suite needs no display.
function(add_trd_test name)
  cmake_parse_arguments(T "QT" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_QT)
    target_link_libraries(${name} PRIVATE trd_flags trd_test_qtmain ${T_LIBS})
  else()
    target_link_libraries(${name} PRIVATE trd_flags GTest::gtest GTest::gtest_main ${T_LIBS})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set(test_env "QT_QPA_PLATFORM=offscreen;TRD_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TRD_LIB_DIR=${CMAKE_BINARY_DIR}/lib")
  if(TRD_SANITIZE)
    list(APPEND test_env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt")
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${test_env}"
    TIMEOUT 300)
endfunction()

# add_trd_xcb_test(name SOURCES... LIBS...): a widget test that needs a real X
# server (window activation, focus handed back after a message box, a real
# paste), run on Xvfb with the xcb platform. tools/install-deps.sh installs
# xvfb; without xvfb-run the test is registered to fail with that reason.
find_program(TRD_XVFB_RUN xvfb-run)
function(add_trd_xcb_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE trd_flags trd_test_qtmain ${T_LIBS})
  if(TRD_XVFB_RUN)
    add_test(NAME ${name} COMMAND ${TRD_XVFB_RUN} -a -s "-screen 0 1600x1000x24 -nolisten tcp" $<TARGET_FILE:${name}>)
  else()
    add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo "xvfb-run is missing: run tools/install-deps.sh")
    set_tests_properties(${name} PROPERTIES WILL_FAIL TRUE)
  endif()
  set(xcb_env "QT_QPA_PLATFORM=xcb;TRD_BIN_DIR=${CMAKE_BINARY_DIR}/bin;TRD_LIB_DIR=${CMAKE_BINARY_DIR}/lib")
  if(TRD_SANITIZE)
    list(APPEND xcb_env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/lsan-suppressions.txt")
  endif()
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "${xcb_env}"
    LABELS xcb
    TIMEOUT 300)
endfunction()
