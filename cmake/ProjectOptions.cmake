# One place for the language level, the warnings, Qt's strictness and the sanitizers;
# every target of the project links varnholt_options.
option(VARNHOLT_WERROR "Treat warnings as errors" OFF)
option(VARNHOLT_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(varnholt_options INTERFACE)
target_compile_features(varnholt_options INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

target_compile_options(varnholt_options INTERFACE
    -Wall -Wextra -Wpedantic -Wnon-virtual-dtor -Woverloaded-virtual -Wold-style-cast
    $<$<BOOL:${VARNHOLT_WERROR}>:-Werror>)

target_compile_definitions(varnholt_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)

if(VARNHOLT_SANITIZE)
    target_compile_options(varnholt_options INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(varnholt_options INTERFACE -fsanitize=address,undefined)
endif()
