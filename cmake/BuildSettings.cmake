# One interface target carries the language level, the warnings and the sanitizers, so that
# every target of the project is built alike.
add_library(skaldrun_build_settings INTERFACE)
add_library(Skaldrun::BuildSettings ALIAS skaldrun_build_settings)

target_compile_features(skaldrun_build_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(skaldrun_build_settings INTERFACE -Wall -Wextra -Wpedantic
                           $<$<BOOL:${SKALDRUN_WERROR}>:-Werror>)
elseif(MSVC)
    target_compile_options(skaldrun_build_settings INTERFACE /W4 /utf-8
                           $<$<BOOL:${SKALDRUN_WERROR}>:/WX>)
endif()

if(WIN32)
    # <windows.h> without the min and max macros that break std::min, and without the rarely used
    # parts that slow every build.
    target_compile_definitions(skaldrun_build_settings INTERFACE NOMINMAX WIN32_LEAN_AND_MEAN)
endif()

# Release builds are hardened as Debian builds its packages: checked buffer functions, stack
# protection, position-independent executables, and relocations made read-only at start.
if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT WIN32 AND NOT SKALDRUN_SANITIZE
   AND NOT SKALDRUN_FUZZ AND CMAKE_BUILD_TYPE STREQUAL "Release")
    include(CheckPIESupported)
    check_pie_supported()
    set(CMAKE_POSITION_INDEPENDENT_CODE ON)
    target_compile_options(skaldrun_build_settings INTERFACE -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2
                           -fstack-protector-strong)
    target_link_options(skaldrun_build_settings INTERFACE -Wl,-z,relro,-z,now)
endif()

if(SKALDRUN_SANITIZE)
    set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                       -fno-omit-frame-pointer)
    target_compile_options(skaldrun_build_settings INTERFACE ${sanitize_flags})
    target_link_options(skaldrun_build_settings INTERFACE ${sanitize_flags})
endif()

# Gives a Windows executable the version record (and an icon, when one is named).
function(skaldrun_add_version_resource target description)
    if(NOT WIN32)
        return()
    endif()
    set(SKALDRUN_RC_NAME "${target}")
    set(SKALDRUN_RC_FILE "${target}.exe")
    set(SKALDRUN_RC_DESCRIPTION "${description}")
    set(SKALDRUN_RC_ICON "")
    if(ARGC GREATER 2)
        set(SKALDRUN_RC_ICON "1 ICON \"${ARGV2}\"")
    endif()
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
    configure_file("${PROJECT_SOURCE_DIR}/cmake/version.rc.in" "${rc}" @ONLY)
    target_sources(${target} PRIVATE "${rc}")
endfunction()
