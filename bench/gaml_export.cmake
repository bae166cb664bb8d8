# The export benchmark loads the built writer as the group-file class does.
add_dependencies(bench_${name} gamlwriter)
target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(bench_${name} PRIVATE GAMLWRITER_MODULE="$<TARGET_FILE:gamlwriter>")
