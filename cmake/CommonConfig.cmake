# One interface target carries the language standard, warnings and sanitizer flags for every
# target of the project.
add_library(slotscope_common INTERFACE)
add_library(slotscope::common ALIAS slotscope_common)

target_compile_features(slotscope_common INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(slotscope_common INTERFACE -Wall -Wextra -Wpedantic)

# Windows: the wide-character API throughout, and windows.h without min/max macros.
if(WIN32)
  target_compile_definitions(slotscope_common INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
endif()

option(SLOTSCOPE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(SLOTSCOPE_SANITIZE)
  target_compile_options(slotscope_common INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(slotscope_common INTERFACE -fsanitize=address,undefined)
endif()

# In the fuzzing build the libraries carry coverage instrumentation too, so the fuzzers are guided
# by the code under test and not only by the fuzz targets' own lines.
if(SLOTSCOPE_BUILD_FUZZERS)
  target_compile_options(slotscope_common INTERFACE -fsanitize=fuzzer-no-link)
endif()

# Errors are values across the libraries' boundaries (tl::expected, header-only). The
# cross-build cannot see the system's headers as a whole, so it gets a copy of this one
# library's.
find_path(SLOTSCOPE_EXPECTED_INCLUDE tl/expected.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH
          REQUIRED)
if(WIN32)
  file(COPY "${SLOTSCOPE_EXPECTED_INCLUDE}/tl" DESTINATION "${CMAKE_BINARY_DIR}/header-only")
  target_include_directories(slotscope_common SYSTEM INTERFACE "${CMAKE_BINARY_DIR}/header-only")
endif()
