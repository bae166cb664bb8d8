# The chemometric benchmark runs the same work through LAPACK and OpenBLAS
# beside the library's own routines; they are linked here only, never into
# the library.
find_library(LAPACKE_LIBRARY lapacke REQUIRED)
find_library(OPENBLAS_LIBRARY openblas REQUIRED)
target_link_libraries(bench_${name} PRIVATE ${LAPACKE_LIBRARY} ${OPENBLAS_LIBRARY})
