# A "Sanitize" build type: AddressSanitizer and UndefinedBehaviorSanitizer with
# light optimisation, used by the test run so a leak or a bad read fails it.
set(CMAKE_CXX_FLAGS_SANITIZE
    "-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined -fno-sanitize-recover=undefined"
    CACHE STRING "C++ flags for the Sanitize build type" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_SANITIZE "-fsanitize=address,undefined"
    CACHE STRING "Linker flags for the Sanitize build type" FORCE)
set(CMAKE_SHARED_LINKER_FLAGS_SANITIZE "-fsanitize=address,undefined"
    CACHE STRING "Shared linker flags for the Sanitize build type" FORCE)
mark_as_advanced(CMAKE_CXX_FLAGS_SANITIZE CMAKE_EXE_LINKER_FLAGS_SANITIZE
                 CMAKE_SHARED_LINKER_FLAGS_SANITIZE)
