# The program's version data, in one place. The project version is the file version; the
# strings below form the version table the about box lists (and, on Windows, the executable's
# version resource). Empty entries stay in the table so the box shows them as empty lines.
set(KX_VERSION_COMPANY_NAME "Morvell Scales")
set(KX_VERSION_FILE_DESCRIPTION "KXLINK")
set(KX_VERSION_FILE_VERSION "${PROJECT_VERSION}")
set(KX_VERSION_INTERNAL_NAME "")
set(KX_VERSION_LEGAL_COPYRIGHT "")
set(KX_VERSION_LEGAL_TRADEMARKS "")
set(KX_VERSION_ORIGINAL_FILENAME "")
set(KX_VERSION_PRODUCT_NAME "")
set(KX_VERSION_PRODUCT_VERSION "10.17.12")
set(KX_VERSION_COMMENTS "PC Utility for the KX7400")
# The date of this version, for the package's release notes.
set(KX_RELEASE_DATE "2026-12-10")

# kx_version_sources(<out-var>): the generated table for the core library.
function(kx_generate_version_table out)
    set(generated ${CMAKE_BINARY_DIR}/generated/help/VersionTable.cpp)
    configure_file(${CMAKE_SOURCE_DIR}/src/help/VersionTable.cpp.in ${generated} @ONLY)
    set(${out} ${generated} PARENT_SCOPE)
endfunction()

# On Windows the same data becomes the executable's version resource.
function(kx_add_version_resource target)
    if(WIN32)
        set(rc ${CMAKE_BINARY_DIR}/generated/${target}.rc)
        set(KX_VERSION_COMMA ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},${PROJECT_VERSION_TWEAK})
        configure_file(${CMAKE_SOURCE_DIR}/src/app/kxlink.rc.in ${rc} @ONLY)
        target_sources(${target} PRIVATE ${rc})
    endif()
endfunction()
