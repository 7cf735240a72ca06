# Build type "Asan": AddressSanitizer and UndefinedBehaviorSanitizer (with float-to-integer overflow),
# stopping at the first report.
set(_amb_san_flags "-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all")
set(CMAKE_C_FLAGS_ASAN "${_amb_san_flags}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_ASAN "${_amb_san_flags}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_ASAN "-fsanitize=address,undefined,float-cast-overflow" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_ASAN "-fsanitize=address,undefined,float-cast-overflow" CACHE STRING "" FORCE)
mark_as_advanced(CMAKE_C_FLAGS_ASAN CMAKE_CXX_FLAGS_ASAN CMAKE_EXE_LINKER_FLAGS_ASAN CMAKE_SHARED_LINKER_FLAGS_ASAN)

# Build type "Tsan": ThreadSanitizer.
set(_amb_tsan_flags "-O1 -g -fno-omit-frame-pointer -fsanitize=thread")
set(CMAKE_C_FLAGS_TSAN "${_amb_tsan_flags}" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_TSAN "${_amb_tsan_flags}" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_TSAN "-fsanitize=thread" CACHE STRING "" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_TSAN "-fsanitize=thread" CACHE STRING "" FORCE)
mark_as_advanced(CMAKE_C_FLAGS_TSAN CMAKE_CXX_FLAGS_TSAN CMAKE_EXE_LINKER_FLAGS_TSAN CMAKE_SHARED_LINKER_FLAGS_TSAN)
