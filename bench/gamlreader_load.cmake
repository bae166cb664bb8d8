target_link_libraries(bench_${name} PRIVATE gamlreader_objects)
