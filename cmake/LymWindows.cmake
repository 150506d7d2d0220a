# Windows builds made on Linux with mingw-w64 (cmake/toolchains/mingw-*.cmake) whose programs run
# under Wine: every program CMake runs (CTest, custom commands) gets the build's own Wine prefix,
# so that the tests touch nothing in the user's home and two builds do not share a Wine server.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR))
  return()
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
