# Compiler settings shared by every target of the project.

# Assertion messages and __FILE__ name our source units relative to the source tree.
add_compile_options("-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=")

# The encoder must produce the same bytes in every build: no contraction of a*b+c into fused
# multiply-adds, no fast-math, and SSE2 arithmetic instead of the x87 unit on 32-bit x86.
add_compile_options(-ffp-contract=off -fno-fast-math)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  add_compile_options(-msse2 -mfpmath=sse)
endif()

# Vector kernels: x86 builds compile each kernel body once per instruction set (files ending in
# _sse2.cpp and _avx2.cpp get their flags from lym_kernel_sources) and choose at run time.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|x86_64|AMD64|amd64)$")
  set(LYM_X86_KERNELS ON)
  add_compile_definitions(LYM_X86_KERNELS=1)
endif()

function(lym_kernel_sources target)
  if(NOT LYM_X86_KERNELS)
    return()
  endif()
  foreach(source ${ARGN})
    if(source MATCHES "_avx2\\.cpp$")
      set_source_files_properties(${source} TARGET_DIRECTORY ${target}
                                  PROPERTIES COMPILE_OPTIONS "-mavx2")
    elseif(source MATCHES "_sse2\\.cpp$")
      set_source_files_properties(${source} TARGET_DIRECTORY ${target}
                                  PROPERTIES COMPILE_OPTIONS "-msse2")
    endif()
  endforeach()
  target_sources(${target} PRIVATE ${ARGN})
endfunction()

if(LYM_SANITIZE)
  set(lym_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${lym_sanitizers})
  add_link_options(${lym_sanitizers})
endif()

if(LYM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "LYM_FUZZ needs clang (libFuzzer)")
  endif()
  set(lym_fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${lym_fuzz_sanitizers} -fsanitize=fuzzer-no-link)
  add_link_options(${lym_fuzz_sanitizers})
  # Mutated inputs would almost never carry a valid checksum; let them reach the parsers.
  add_compile_definitions(LYM_FUZZ_SKIP_CHECKSUMS=1)
endif()

# Warnings are errors in our own code (not in third-party code).
function(lym_target_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()
