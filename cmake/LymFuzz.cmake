# lym_fuzz_target(NAME SOURCE [LIBRARY])
#
# LIBRARY is what the target attacks through (default: lymcore, with the internal headers).
#
# Every build compiles the target with a replay driver and replays, as a test, the saved crash
# inputs of tests/crashes/NAME and the seed inputs of tests/fuzz-seeds/NAME (valid inputs that lead
# the fuzzer past the first checks). The LYM_FUZZ build (clang) also links it with libFuzzer and
# runs it for LYM_FUZZ_SECONDS, starting from the seeds, as a test labelled "fuzz".
set(LYM_FUZZ_SECONDS 15 CACHE STRING "How long each fuzz target runs in the test suite")

function(lym_fuzz_target name source)
  set(library lymcore lymcore_internal)
  if(ARGC GREATER 2)
    set(library ${ARGV2})
  endif()
  set(crashes "${PROJECT_SOURCE_DIR}/tests/crashes/${name}")
  set(seeds "${PROJECT_SOURCE_DIR}/tests/fuzz-seeds/${name}")

  add_executable(${name}_replay ${source} "${PROJECT_SOURCE_DIR}/tests/fuzz_replay_main.cpp")
  target_link_libraries(${name}_replay PRIVATE ${library})
  lym_target_warnings(${name}_replay)
  add_test(NAME replay.${name} COMMAND ${name}_replay "${crashes}" "${seeds}")
  set_tests_properties(replay.${name} PROPERTIES LABELS "replay")

  if(LYM_FUZZ)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${library})
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    lym_target_warnings(${name})
    set(corpus "${CMAKE_BINARY_DIR}/fuzz-corpus/${name}")
    set(artifacts "${CMAKE_BINARY_DIR}/fuzz-crashes/${name}")
    file(MAKE_DIRECTORY "${corpus}" "${artifacts}")
    # libFuzzer gives up on a corpus folder that does not exist.
    set(inputs "${corpus}")
    if(EXISTS "${seeds}")
      list(APPEND inputs "${seeds}")
    endif()
    add_test(NAME fuzz.${name}
      COMMAND ${name} -max_total_time=${LYM_FUZZ_SECONDS} -timeout=10 -rss_limit_mb=2048
              -print_final_stats=1 "-artifact_prefix=${artifacts}/" ${inputs})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS "fuzz" TIMEOUT 300)
  endif()
endfunction()
