# Builds for fuzzing with clang's libFuzzer: every target is instrumented for coverage and
# checked by AddressSanitizer and UndefinedBehaviorSanitizer (any finding aborts, so the
# fuzzer keeps the input); the harnesses under fuzz/ add the libFuzzer main.
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "TARNE_FUZZ needs clang with libFuzzer: configure with "
                      "-DCMAKE_CXX_COMPILER=clang++ in a build directory of its own")
endif()
set(TARNE_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
                          -fno-omit-frame-pointer)
add_compile_options(${TARNE_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link)
add_link_options(${TARNE_FUZZ_SANITIZERS})
