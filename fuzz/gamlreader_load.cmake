target_link_libraries(fuzz_${name} PRIVATE gamlreader_objects)
