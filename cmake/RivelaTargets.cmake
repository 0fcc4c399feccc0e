# SPDX-License-Identifier: GPL-3.0-or-later
# One static library per folder; its tests, if any, in tests/ beside it as one
# test program. Sources are globbed so that a new capability is one new pair of files.
# QT marks a library of the application layer: its tests run a QApplication on the
# offscreen platform and may write screenshots into screens/.

function(rivela_library name)
  cmake_parse_arguments(ARG "QT" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  if(RIVELA_TESTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(_tests)
      add_executable(${name}_tests ${_tests})
      set(_env "UBSAN_OPTIONS=print_stacktrace=1;ASAN_OPTIONS=detect_leaks=1")
      if(ARG_QT)
        target_link_libraries(${name}_tests PRIVATE ${name} rivela_testing_qt)
        list(APPEND _env "QT_QPA_PLATFORM=offscreen")
      else()
        target_link_libraries(${name}_tests PRIVATE ${name} rivela_testing GTest::gtest GTest::gtest_main)
      endif()
      add_test(NAME ${name} COMMAND ${name}_tests --gtest_brief=1)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_env}")
    endif()
  endif()
endfunction()

# Extra libraries a library's tests need (oracles such as Eigen or CGAL).
function(rivela_test_deps name)
  if(TARGET ${name}_tests)
    target_link_libraries(${name}_tests PRIVATE ${ARGN})
  endif()
endfunction()

# A library of the application layer: like rivela_library, but its tests run a
# QApplication on the offscreen platform and may write screenshots into screens/.
function(rivela_app_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${_sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE ${ARG_PRIVATE_DEPS})
  if(RIVELA_TESTS AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/tests)
    file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*.cpp)
    if(_tests)
      add_executable(${name}_tests ${_tests})
      target_link_libraries(${name}_tests PRIVATE ${name} rivela_testing_qt)
      add_test(NAME ${name} COMMAND ${name}_tests --gtest_brief=1)
      set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;UBSAN_OPTIONS=print_stacktrace=1;ASAN_OPTIONS=detect_leaks=1;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/testing/lsan.supp")
    endif()
  endif()
endfunction()
