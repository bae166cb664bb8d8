# The conversion benchmark loads the built server and reader as a host does,
# and also runs the server's code in its own process to time its stages.
find_package(pugixml REQUIRED)
add_dependencies(bench_${name} gaml2kov gamlreader)
target_link_libraries(bench_${name} PRIVATE converter_objects pugixml::pugixml)
target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bench_${name} PRIVATE GAML2KOV_MODULE="$<TARGET_FILE:gaml2kov>"
                                                 GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>")
