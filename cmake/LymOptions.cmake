# Compiler settings shared by every target of the project. They are the C++ compiler's: the
# Windows builds' resource compiler gets none of them.

# Every object may end up in the shared library, which exports only the public interface's
# functions: position-independent code, and symbols hidden unless a declaration says otherwise.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_CXX_VISIBILITY_PRESET hidden)
set(CMAKE_C_VISIBILITY_PRESET hidden)
set(CMAKE_VISIBILITY_INLINES_HIDDEN ON)

# Assertion messages and __FILE__ name our source units relative to the source tree.
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-fmacro-prefix-map=${CMAKE_SOURCE_DIR}/=>")

# The encoder must produce the same bytes in every build: no contraction of a*b+c into fused
# multiply-adds, no fast-math, and SSE2 arithmetic instead of the x87 unit on 32-bit x86.
add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-ffp-contract=off;-fno-fast-math>")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$")
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-msse2;-mfpmath=sse>")
endif()

# Vector kernels: on x86 the file that holds them is compiled once per instruction set (SSE2 and
# AVX2), each copy into its own namespace, and the kernel tables choose at run time.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86|x86_64|AMD64|amd64)$")
  set(LYM_X86_KERNELS ON)
  add_compile_definitions(LYM_X86_KERNELS=1)
endif()

# lym_vector_levels(TARGET SOURCE): the copies join the objects that lym_link_base puts into a
# library beside TARGET's own.
function(lym_vector_levels target source)
  if(NOT LYM_X86_KERNELS)
    return()
  endif()
  set(names sse2 avx2)
  foreach(level 1 2)
    math(EXPR index "${level} - 1")
    list(GET names ${index} name)
    set(objects ${target}_${name})
    add_library(${objects} OBJECT ${source})
    target_compile_options(${objects} PRIVATE -m${name})
    target_compile_definitions(${objects} PRIVATE LYM_VECTOR_LEVEL=${level})
    target_include_directories(${objects} PRIVATE $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>)
    lym_target_warnings(${objects})
    set_property(GLOBAL APPEND PROPERTY LYM_BASE_VECTOR_OBJECTS $<TARGET_OBJECTS:${objects}>)
  endforeach()
endfunction()

if(LYM_SANITIZE)
  set(lym_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_compile_options(${lym_sanitizers})
  # The usual level for AddressSanitizer, with line tables for its reports: half the compile time of
  # -O2 -g, after the build type's flags so that it wins.
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-O1;-g1>")
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
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:-Wall;-Wextra;-Werror>")
endfunction()
