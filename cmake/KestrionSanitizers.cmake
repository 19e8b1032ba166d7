# Sanitizer builds. Each applies to every target of the project (Qt and the other
# system libraries stay uninstrumented), so they belong in a build folder of their
# own: scripts/test --sanitize uses build-asan, scripts/fuzz uses build-fuzz.
# An undefined-behaviour report ends the process like a memory error does, so
# neither a test nor a fuzz run can pass with one.
set(kestrion_sanitizer_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)

if(KESTRION_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "KESTRION_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Coverage feedback for libFuzzer in all of our code; only the fuzz programs link its main().
    add_compile_options(-fsanitize=fuzzer-no-link ${kestrion_sanitizer_flags})
    add_link_options(${kestrion_sanitizer_flags})
elseif(KESTRION_SANITIZE)
    add_compile_options(${kestrion_sanitizer_flags})
    add_link_options(${kestrion_sanitizer_flags})
endif()
