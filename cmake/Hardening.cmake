# Hardening as Debian builds it (dpkg-buildflags): position-independent executables, the stack
# protector, relocations read-only and resolved at start, format checks, and glibc's checked
# string and memory functions. These are the flags of ELF toolchains; other systems go without.
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)

# The checked functions need optimisation (glibc warns without it, and warnings may be errors).
# Sanitizer builds go without them: the sanitizers check the same calls more closely.
if(NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
    set(optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    add_compile_options($<${optimised}:-U_FORTIFY_SOURCE> $<${optimised}:-D_FORTIFY_SOURCE=2>)
    unset(optimised)
endif()
