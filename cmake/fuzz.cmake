# Fuzzers for every reader of outside data: the "fonts16.bin" image and the two model formats.
# They exist only in a build configured with clang and -DGW_FUZZ=ON (tools/fuzz.sh makes one):
# there the whole core library carries the fuzzer's coverage hooks and both sanitizers, so a
# fault anywhere below a loader stops the run.
# The seed generator is plain C++ and is built everywhere, so it keeps compiling.
add_executable(fuzz_make_corpus tools/fuzz/make_corpus.cpp)

option(GW_FUZZ "Build the libFuzzer targets (clang only)" OFF)
if(GW_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "GW_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  set(GW_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
                         -fno-omit-frame-pointer)
  target_compile_options(glasswhirligo_core PRIVATE -fsanitize=fuzzer-no-link ${GW_FUZZ_SANITIZERS})
  # Whatever else links the instrumented library needs the sanitizers' run-time too.
  target_link_options(glasswhirligo_core INTERFACE -fsanitize=address,undefined)
  foreach(target fonts16 model32 model16)
    add_executable(fuzz_${target} tools/fuzz/fuzz_${target}.cpp)
    target_compile_options(fuzz_${target} PRIVATE -fsanitize=fuzzer ${GW_FUZZ_SANITIZERS})
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_libraries(fuzz_${target} PRIVATE glasswhirligo_core)
  endforeach()
endif()
