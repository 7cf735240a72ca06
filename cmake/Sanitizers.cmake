# Build type "Asan": AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first report.
set(_amb_san_flags "-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined")
set(CMAKE_C_FLAGS_ASAN "${_amb_san_flags}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_ASAN "${_amb_san_flags}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_ASAN "-fsanitize=address,undefined" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_ASAN "-fsanitize=address,undefined" CACHE STRING "" FORCE)
mark_as_advanced(CMAKE_C_FLAGS_ASAN CMAKE_CXX_FLAGS_ASAN CMAKE_EXE_LINKER_FLAGS_ASAN CMAKE_SHARED_LINKER_FLAGS_ASAN)

# Build type "Fuzz" (clang only): the libraries carry libFuzzer's coverage hooks besides ASan and UBSan;
# each fuzz target links libFuzzer itself (fuzz/CMakeLists.txt).
set(_amb_fuzz_flags "-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow")
set(CMAKE_C_FLAGS_FUZZ "${_amb_fuzz_flags}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_FUZZ "${_amb_fuzz_flags}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_FUZZ "-fsanitize=address,undefined" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_FUZZ "-fsanitize=address,undefined" CACHE STRING "" FORCE)
mark_as_advanced(CMAKE_C_FLAGS_FUZZ CMAKE_CXX_FLAGS_FUZZ CMAKE_EXE_LINKER_FLAGS_FUZZ CMAKE_SHARED_LINKER_FLAGS_FUZZ)
