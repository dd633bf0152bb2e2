# morvane_add_test(NAME name SOURCES ... [LIBS ...] [DISPLAY] [NATIVE_ONLY] [WIN32_ONLY] [TIMEOUT s])
#
# One test binary is one ctest entry (Wine starts slowly, so a binary holds
# many cases).  Under a Windows build the binary runs through
# scripts/wine-run; DISPLAY gives it the private Xvfb display.
enable_testing()

set(MORVANE_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run)

function(morvane_add_test)
  cmake_parse_arguments(T "DISPLAY;NATIVE_ONLY;WIN32_ONLY;NO_MAIN" "NAME;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(T_NATIVE_ONLY AND MORVANE_WIN32)
    return()
  endif()
  if(T_WIN32_ONLY AND NOT MORVANE_WIN32)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} test_support GTest::gtest)
  if(NOT T_NO_MAIN)
    target_link_libraries(${T_NAME} PRIVATE GTest::gtest_main)
  endif()
  if(MORVANE_WIN32)
    set(runner_args)
    if(T_DISPLAY)
      list(APPEND runner_args --display)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${MORVANE_WINE_RUN} ${runner_args} $<TARGET_FILE:${T_NAME}>)
    if(T_DISPLAY)
      # Windows of two programs on one display take focus and activation
      # from each other, which makes tests of keys and active forms flaky.
      # Window suites also browse and watch the user's Desktop, which the
      # suites holding "desktop" change.
      set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "xdisplay;desktop")
    endif()
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    ENVIRONMENT "MORVANE_SOURCE_DIR=${CMAKE_SOURCE_DIR};MORVANE_BUILD_DIR=${CMAKE_BINARY_DIR};MORVANE_TEST_TMP=${CMAKE_BINARY_DIR}/test-tmp/${T_NAME}")
endfunction()
