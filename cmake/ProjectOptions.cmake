# One place for the language level, the warnings, Qt's strictness and the sanitizers;
# every target of the project links varnholt_options.
option(VARNHOLT_WERROR "Treat warnings as errors" OFF)
option(VARNHOLT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VARNHOLT_FUZZ "Build the libFuzzer targets (clang only), everything instrumented for them" OFF)

add_library(varnholt_options INTERFACE)
target_compile_features(varnholt_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(varnholt_options INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast
    $<$<BOOL:${VARNHOLT_WERROR}>:-Werror>)

# The one place the version is written: every program and window takes it from here.
target_compile_definitions(varnholt_options INTERFACE
    VARNHOLT_VERSION="${PROJECT_VERSION}"
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    # A debug build checks every index into a standard container: a slip past the end stops the
    # test that makes it instead of reading a neighbour's memory.
    $<$<CONFIG:Debug>:_GLIBCXX_ASSERTIONS>)

# Without the vptr check: it opens a pipe to test whether an object's memory can be read, so in
# a process out of descriptors, which the check's and the judge's tests make on purpose, it
# reports every object it has not met before as one of the wrong type.
if(VARNHOLT_SANITIZE)
    target_compile_options(varnholt_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined
        -fno-omit-frame-pointer)
    target_link_options(varnholt_options INTERFACE -fsanitize=address,undefined)
endif()

# The fuzz build: every library is instrumented for libFuzzer's coverage and runs under the
# sanitizers; only the fuzz targets link libFuzzer's own main (see tests/fuzz).
if(VARNHOLT_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        message(FATAL_ERROR "VARNHOLT_FUZZ needs clang (CXX=clang++-14), not ${CMAKE_CXX_COMPILER_ID}")
    endif()
    target_compile_options(varnholt_options INTERFACE
        -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(varnholt_options INTERFACE -fsanitize=address,undefined)
endif()
