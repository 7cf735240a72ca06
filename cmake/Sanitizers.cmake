# amb_build_type(<NAME> <compile flags> <link flags>): a build type of our own (-DCMAKE_BUILD_TYPE=<Name>).
function(amb_build_type name compile link)
  foreach(lang C CXX)
    set(CMAKE_${lang}_FLAGS_${name} "${compile}" CACHE STRING "" FORCE)
    mark_as_advanced(CMAKE_${lang}_FLAGS_${name})
  endforeach()
  foreach(kind EXE SHARED)
    set(CMAKE_${kind}_LINKER_FLAGS_${name} "${link}" CACHE STRING "" FORCE)
    mark_as_advanced(CMAKE_${kind}_LINKER_FLAGS_${name})
  endforeach()
endfunction()

# Build type "Asan": AddressSanitizer and UndefinedBehaviorSanitizer, stopping at the first report.
amb_build_type(ASAN "-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined"
               "-fsanitize=address,undefined")

# Build type "Fuzz" (clang only): the libraries carry libFuzzer's coverage hooks besides ASan and UBSan;
# each fuzz target links libFuzzer itself (fuzz/CMakeLists.txt).
amb_build_type(FUZZ "-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined,float-cast-overflow -fno-sanitize-recover=undefined,float-cast-overflow"
               "-fsanitize=address,undefined")
