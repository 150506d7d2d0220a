# Windows builds made on Linux with mingw-w64 (cmake/toolchains/mingw-*.cmake) whose programs run
# under Wine: every program CMake runs (CTest, custom commands) gets the build's own Wine prefix,
# so that the tests touch nothing in the user's home and two builds do not share a Wine server.
#
# Where the machine cannot run the build's programs (a kernel without 32-bit support cannot start
# the 32-bit Wine loader), LYM_CANNOT_RUN says why: everything is still built, the checks that only
# read the files still run, and every test that would run a program is reported as skipped.

# lym_skip_tests_that_cannot_run(): called at the end of the top folder, once every test exists.
function(lym_skip_tests_that_cannot_run)
  if(NOT LYM_CANNOT_RUN)
    return()
  endif()
  lym_tests_below("${PROJECT_SOURCE_DIR}" tests)
  list(JOIN tests "\" \"" quoted)
  file(WRITE "${PROJECT_BINARY_DIR}/not-run/skip.cmake"
       "set_tests_properties(\"${quoted}\" PROPERTIES SKIP_RETURN_CODE 77\n"
       "                     SKIP_REGULAR_EXPRESSION \"Not run on this machine: \")\n")
  add_subdirectory("${PROJECT_SOURCE_DIR}/cmake/not-run" "${PROJECT_BINARY_DIR}/not-run")
endfunction()

# lym_tests_below(FOLDER OUT): the tests of FOLDER and of every folder under it.
function(lym_tests_below folder out)
  get_property(tests DIRECTORY "${folder}" PROPERTY TESTS)
  get_property(folders DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS folders)
    lym_tests_below("${subfolder}" more)
    list(APPEND tests ${more})
  endforeach()
  set(${out} ${tests} PARENT_SCOPE)
endfunction()

if(NOT (WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR))
  return()
endif()

set(LYM_CANNOT_RUN "" CACHE STRING
    "Why this machine cannot run the build's programs (their tests are skipped); empty: they run")
if(LYM_CANNOT_RUN)
  message(STATUS "The programs are not run on this machine: ${LYM_CANNOT_RUN}")
  set(CMAKE_CROSSCOMPILING_EMULATOR sh "${PROJECT_SOURCE_DIR}/cmake/not-run.sh" "${LYM_CANNOT_RUN}")
  return()  # and no Wine prefix
endif()

set(LYM_WINE_PREFIX "${PROJECT_BINARY_DIR}/wine-prefix")
list(GET CMAKE_CROSSCOMPILING_EMULATOR -1 lym_wine_loader)
set(lym_wine_environment "WINEPREFIX=${LYM_WINE_PREFIX}" "WINEDEBUG=-all"
    # No Mono or Gecko installer (this machine has no network; console programs need neither).
    "WINEDLLOVERRIDES=mscoree,mshtml=")
set(CMAKE_CROSSCOMPILING_EMULATOR
    sh "${PROJECT_SOURCE_DIR}/cmake/wine-run.sh" "${LYM_WINE_PREFIX}" "${lym_wine_loader}")

# Make the prefix once, here, so that tests running side by side do not each start making it.
if(NOT EXISTS "${LYM_WINE_PREFIX}/system.reg")
  message(STATUS "Making the Wine prefix ${LYM_WINE_PREFIX}")
  execute_process(COMMAND env ${lym_wine_environment} ${lym_wine_loader} wineboot --init
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_QUIET)
  # wineboot returns before the server has written the registry; wait for it.
  get_filename_component(wine_folder "${lym_wine_loader}" DIRECTORY)
  execute_process(COMMAND env ${lym_wine_environment} "${wine_folder}/wineserver" --wait)
  if(NOT result EQUAL 0 OR NOT EXISTS "${LYM_WINE_PREFIX}/system.reg")
    message(WARNING "wineboot failed (${result}); the tests will make the prefix themselves")
  endif()
endif()
