# The reader tests load the built module as CoCreateInstance would.
add_dependencies(test_${name} gamlreader)
target_compile_definitions(test_${name} PRIVATE GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>")
# The base64 test calls the reader's decoder directly.
target_link_libraries(test_${name} PRIVATE gamlreader_objects)
