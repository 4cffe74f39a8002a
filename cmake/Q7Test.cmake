# Test helpers shared by every folder.
#
# q7_add_gtest(NAME SOURCES... [LIBS ...]) builds a GoogleTest program and
# registers it with CTest. Natively it runs as it is; in the win64 build it
# runs under Wine through CMAKE_CROSSCOMPILING_EMULATOR, inside the prefix
# and display of the wine fixture.

if(NOT Q7_TESTS)
  function(q7_add_gtest)
  endfunction()
  return()
endif()

enable_testing()

if(CMAKE_CROSSCOMPILING)
  # Debian ships GoogleTest as source for other targets than the host.
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  set(Q7_GTEST_LIBS GTest::gtest GTest::gtest_main)

  set(Q7_WINE_STATE ${CMAKE_BINARY_DIR}/wine)
  add_test(NAME wine_setup COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-fixture.sh setup ${Q7_WINE_STATE})
  add_test(NAME wine_cleanup COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-fixture.sh cleanup ${Q7_WINE_STATE})
  set_tests_properties(wine_setup PROPERTIES FIXTURES_SETUP wine TIMEOUT 120)
  set_tests_properties(wine_cleanup PROPERTIES FIXTURES_CLEANUP wine)
else()
  find_package(GTest REQUIRED)
  set(Q7_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()

# Marks a test as one that runs under Wine (no effect natively).
function(q7_wine_test name)
  if(CMAKE_CROSSCOMPILING)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine
      ENVIRONMENT "Q7_WINE_STATE=${Q7_WINE_STATE}")
  endif()
endfunction()

function(q7_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE q7core ${ARG_LIBS} ${Q7_GTEST_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  q7_wine_test(${name})
endfunction()
