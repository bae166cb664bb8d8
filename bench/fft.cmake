# The FFT benchmark runs the same transforms through FFTW (single precision)
# beside the library's own; FFTW is linked here only, never into the library.
find_library(FFTW3F_LIBRARY fftw3f REQUIRED)
target_link_libraries(bench_${name} PRIVATE ${FFTW3F_LIBRARY})
