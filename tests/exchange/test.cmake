# The larger public JCAMP-DX files are read where the shared folder beside
# the repository holds them; the tests that need them are skipped elsewhere.
if(EXISTS ${PROJECT_SOURCE_DIR}/../shared/jcamp)
  get_filename_component(jcamp_shared ${PROJECT_SOURCE_DIR}/../shared/jcamp ABSOLUTE)
  target_compile_definitions(test_${name} PRIVATE GAML2KOV_JCAMP_SHARED="${jcamp_shared}")
endif()
