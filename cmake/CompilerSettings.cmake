# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra -Wmissing-declarations -Wformat=2 -Wimplicit-fallthrough
                    "$<$<COMPILE_LANGUAGE:CXX>:-Wnon-virtual-dtor;-Wsuggest-override>")
if(INKWARDEN_WERROR)
    add_compile_options(-Werror)
endif()

# The hardening that Debian's tools expect of a program: position-independent executables
# (the code is compiled position-independent throughout), and relocations made read-only and
# bound at start.
include(CheckPIESupported)
check_pie_supported()
add_link_options(-Wl,-z,relro -Wl,-z,now)

# Stack canaries everywhere; checked string and memory functions where the optimiser can see the
# sizes (glibc's checks need -O1 or more, and the sanitizers bring their own).
add_compile_options(-fstack-protector-strong)
if(INKWARDEN_SANITIZER STREQUAL "" AND NOT INKWARDEN_FUZZ)
    add_compile_definitions($<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:_FORTIFY_SOURCE=2>)
endif()

if(INKWARDEN_SANITIZER STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
elseif(INKWARDEN_SANITIZER STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
elseif(NOT INKWARDEN_SANITIZER STREQUAL "")
    message(FATAL_ERROR "INKWARDEN_SANITIZER must be empty, address or thread")
endif()

if(INKWARDEN_FUZZ AND NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "INKWARDEN_FUZZ needs clang (use the fuzz preset)")
endif()

if(INKWARDEN_FUZZ)
    # Coverage instrumentation for all code; only the fuzz targets link the fuzzer's main.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
