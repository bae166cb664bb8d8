# The converter tests call the server's code in their own process and load
# the built server and reader modules as a host does, and a stand-in reader
# module of their own.
add_library(negative_reader MODULE ${CMAKE_CURRENT_LIST_DIR}/negative_reader/module.cpp)
target_include_directories(negative_reader PRIVATE ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(negative_reader PRIVATE platform)
set_target_properties(negative_reader PROPERTIES PREFIX "")
target_link_options(negative_reader PRIVATE -Wl,--exclude-libs,ALL)

target_link_libraries(test_${name} PRIVATE converter_objects)
add_dependencies(test_${name} gaml2kov gamlreader negative_reader)
target_compile_definitions(test_${name} PRIVATE GAML2KOV_MODULE="$<TARGET_FILE:gaml2kov>"
                                                GAMLREADER_MODULE="$<TARGET_FILE:gamlreader>"
                                                NEGATIVE_READER_MODULE="$<TARGET_FILE:negative_reader>")
