target_link_libraries(fuzz_${name} PRIVATE converter_objects gamlreader_objects)
