# The GAML writer tests load the built server, reader and writer modules as
# a host does, build native files with the library in their own process, and
# look into the written documents with pugixml.
find_package(pugixml REQUIRED)
target_link_libraries(test_${name} PRIVATE converter_objects pugixml::pugixml)
add_dependencies(test_${name} gaml2kov gamlreader gamlwriter)
target_compile_definitions(test_${name} PRIVATE GAML2KOV_MODULE="$<TARGET_FILE:gaml2kov>"
                                                GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>"
                                                GAMLWRITER_MODULE="$<TARGET_FILE:gamlwriter>")
