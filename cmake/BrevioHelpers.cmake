# Adds every direct sub-folder of the current folder that has a CMakeLists.txt.
function(brevio_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# brevio_test(NAME SOURCES a.cpp b.cpp LIBS X Y [XVFB] [LABELS l1 l2] [TIMEOUT s]
#             [FIXTURES f1 f2])
# A GoogleTest program; every test case becomes one ctest test. Window code
# runs on Qt's offscreen platform; XVFB suites run under xvfb-run instead.
# FIXTURES: ctest fixtures (set up by other tests) every case needs.
function(brevio_test name)
  cmake_parse_arguments(T "XVFB" "TIMEOUT" "SOURCES;LIBS;LABELS;FIXTURES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(env
      "QT_QPA_PLATFORM=offscreen"
      "BREVIO_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp"
      "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
      # The leak checker can take a loaded plugin's thread-local block for an
      # older C library's layout and crash at exit; it does not scan those
      # blocks then.
      "ASAN_OPTIONS=intercept_tls_get_addr=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1"
      "BREVIO_TEST_OUTPUT=${CMAKE_BINARY_DIR}/test-output")
  set(launcher)
  if(T_XVFB)
    find_program(XVFB_RUN xvfb-run REQUIRED)
    set(launcher ${XVFB_RUN} -a -s "-screen 0 1920x1080x24 +extension MIT-SHM")
    list(REMOVE_ITEM env "QT_QPA_PLATFORM=offscreen")
    list(APPEND env "QT_QPA_PLATFORM=xcb")
  endif()
  # The environment travels through the launcher: a list-valued ENVIRONMENT
  # property does not survive test discovery intact.
  set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR
                        "${CMAKE_COMMAND};-E;env;${env};${launcher}")
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(T_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${T_FIXTURES}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${props})
endfunction()
