# GoogleTest and the way tests run on each target.
if(WIN32)
  # Debian ships GoogleTest's sources; build them with the cross compiler.
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()

set(SFX_CAN_RUN_TESTS ON)
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
    find_program(SFX_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
    find_program(SFX_WINE64 NAMES wine64)
    if(NOT SFX_WINE64)
      message(FATAL_ERROR "wine64 is needed to run the Windows tests")
    endif()
    set(SFX_WINEPREFIX "${PROJECT_BINARY_DIR}/wineprefix")
    set(SFX_WINE_ENV "SFX_WINEPREFIX=${SFX_WINEPREFIX}" "SFX_WINE64=${SFX_WINE64}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/cmake/wine-run.sh")
    # A fresh prefix for every test run, made before any Windows test starts.
    add_test(NAME wine_prefix
      COMMAND ${CMAKE_COMMAND} -E env ${SFX_WINE_ENV}
              sh -c "rm -rf \"$SFX_WINEPREFIX\" && \"${PROJECT_SOURCE_DIR}/cmake/wine-run.sh\" wineboot -i")
    set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine)
  else()
    # The i686 product cannot run on this machine: it is built and inspected.
    set(SFX_CAN_RUN_TESTS OFF)
  endif()
endif()

# sfx_add_gtest(name sources... LIBS libs...): one test program.
function(sfx_add_gtest name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  if(NOT SFX_CAN_RUN_TESTS)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      FIXTURES_REQUIRED wine ENVIRONMENT "${SFX_WINE_ENV}")
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
  endif()
endfunction()
