# The converter tests call the server's code in their own process and load
# the built server and reader modules as a host does.
target_link_libraries(test_${name} PRIVATE converter_objects)
add_dependencies(test_${name} gaml2kov gamlreader)
target_compile_definitions(test_${name} PRIVATE GAML2KOV_MODULE="$<TARGET_FILE:gaml2kov>"
                                                GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>")
