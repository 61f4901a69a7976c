# One interface target carries the language level, the warnings and the sanitizers, so that
# every target of the project is built alike.
add_library(skaldrun_build_settings INTERFACE)
add_library(Skaldrun::BuildSettings ALIAS skaldrun_build_settings)

target_compile_features(skaldrun_build_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(skaldrun_build_settings INTERFACE -Wall -Wextra -Wpedantic -Werror)
elseif(MSVC)
    target_compile_options(skaldrun_build_settings INTERFACE /W4 /WX /utf-8)
endif()

if(SKALDRUN_SANITIZE)
    set(sanitize_flags -fsanitize=address,undefined -fno-sanitize-recover=undefined
                       -fno-omit-frame-pointer)
    target_compile_options(skaldrun_build_settings INTERFACE ${sanitize_flags})
    target_link_options(skaldrun_build_settings INTERFACE ${sanitize_flags})
endif()
