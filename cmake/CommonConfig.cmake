# One target carries the language standard, the warnings and the Qt safety
# defines; every target built from the project's own sources links it (the
# code rcc writes for res/ does not).
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

option(VQ_WERROR "Treat warnings as errors" OFF)
option(VQ_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(VQ_TSAN "Build with ThreadSanitizer" OFF)
option(VQ_FUZZ "Build the fuzz targets (clang; every target gets coverage, ASan and UBSan)" OFF)

add_library(vq_common INTERFACE)
target_compile_features(vq_common INTERFACE cxx_std_20)
set_target_properties(vq_common PROPERTIES INTERFACE_CXX_EXTENSIONS OFF)

target_compile_definitions(vq_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CAST_FROM_BYTEARRAY
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_URL_CAST_FROM_STRING
    QT_NO_FOREACH
    QT_NO_KEYWORDS
    QT_STRICT_ITERATORS
    QT_DISABLE_DEPRECATED_BEFORE=0x060400)

if(WIN32)
    # <windows.h> without min/max macros and its rarely used parts; its wide
    # API by default; Windows 10, the oldest Qt 6 runs on. Winsock for the
    # sockets the link and the emulator use beside Qt's.
    target_compile_definitions(vq_common INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN UNICODE _UNICODE
                                                   _WIN32_WINNT=0x0A00)
    target_link_libraries(vq_common INTERFACE ws2_32)
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(vq_common INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
        -Woverloaded-virtual -Wformat=2 -Wimplicit-fallthrough)
    if(VQ_WERROR)
        target_compile_options(vq_common INTERFACE -Werror)
    endif()
    if(VQ_SANITIZE)
        target_compile_options(vq_common INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined)
        target_link_options(vq_common INTERFACE -fsanitize=address,undefined)
    endif()
    if(VQ_FUZZ)
        if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
            message(FATAL_ERROR "VQ_FUZZ needs clang (CMAKE_CXX_COMPILER=clang++)")
        endif()
        target_compile_options(vq_common INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                                                   -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
        target_link_options(vq_common INTERFACE -fsanitize=address,undefined)
    endif()
    if(VQ_TSAN)
        target_compile_options(vq_common INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
        target_link_options(vq_common INTERFACE -fsanitize=thread)
    endif()
elseif(MSVC)
    target_compile_options(vq_common INTERFACE /W4 /permissive- /utf-8)
    if(VQ_WERROR)
        target_compile_options(vq_common INTERFACE /WX)
    endif()
endif()

# A static library made of every .cpp and .h of the calling folder except
# main.cpp; of the files of one platform only (NAME_win.cpp, NAME_unix.cpp)
# those of the platform built for.
function(vq_folder_library name)
    cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    if(WIN32)
        list(FILTER sources EXCLUDE REGEX "_unix\\.cpp$")
    else()
        list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
    endif()
    add_library(${name} STATIC ${sources})
    # One include root: an include names the library it uses ("link/vqcomm.h").
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC vq_common ${ARG_LIBS})
endfunction()
