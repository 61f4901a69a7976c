# Installs a text file gzipped as Debian wants manual pages and changelogs (gzip -9n: the best
# compression, no name or time stamp inside, so every build gives the same bytes). A source
# ending in ".in" is first filled in with the project's variables.
function(skaldrun_install_gzipped source installed_name destination)
    set(plain "${CMAKE_CURRENT_BINARY_DIR}/${installed_name}")
    if(source MATCHES "\\.in$")
        configure_file("${source}" "${plain}.source" @ONLY)
        set(input "${plain}.source")
    else()
        set(input "${source}")
    endif()
    add_custom_command(OUTPUT "${plain}.gz"
        COMMAND "${CMAKE_COMMAND}" -E copy "${input}" "${plain}"
        COMMAND gzip -9nf "${plain}"
        DEPENDS "${input}"
        VERBATIM)
    string(MAKE_C_IDENTIFIER "gzip_${installed_name}" target)
    add_custom_target(${target} ALL DEPENDS "${plain}.gz")
    install(FILES "${plain}.gz" DESTINATION "${destination}")
endfunction()
