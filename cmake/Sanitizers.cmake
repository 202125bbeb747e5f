# Instruments every target with AddressSanitizer and UndefinedBehaviorSanitizer.
# Any finding aborts the process so that the test that caused it fails.
set(TARNE_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_compile_options(${TARNE_SANITIZER_FLAGS})
add_link_options(${TARNE_SANITIZER_FLAGS})
