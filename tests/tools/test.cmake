# The host tests run the built host program against the built server,
# reader and writer modules, in the test's own $GAML2KOV_HOME.
add_dependencies(test_${name} gaml2kov_host gaml2kov gamlreader gamlwriter)
# The host runs through the same emulator as the tests, where there is one.
target_compile_definitions(test_${name} PRIVATE GAML2KOV_HOST_RUNNER="${CMAKE_CROSSCOMPILING_EMULATOR}"
                                                GAML2KOV_HOST="$<TARGET_FILE:gaml2kov_host>"
                                                GAML2KOV_MODULE="$<TARGET_FILE:gaml2kov>"
                                                GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>"
                                                GAMLWRITER_MODULE="$<TARGET_FILE:gamlwriter>"
                                                GAML2KOV_EXAMPLES="${PROJECT_SOURCE_DIR}/examples")
