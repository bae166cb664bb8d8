# The signing tests load a stand-in for the workstation's signature library
# as the host would: a module named talvo_cr, copied into the test's Windows
# system folder.
add_library(talvo_cr MODULE ${CMAKE_CURRENT_LIST_DIR}/signature/talvo_cr.cpp)
set_target_properties(talvo_cr PROPERTIES PREFIX "")
add_dependencies(test_${name} talvo_cr)
target_compile_definitions(test_${name} PRIVATE SIGNATURE_MODULE="$<TARGET_FILE:talvo_cr>")
