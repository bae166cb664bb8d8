// The library's complex FFT (with the bit reversal of its input) and its
// real forward transform, of 2^10 to 2^20 points, each beside the same
// transform through FFTW in single precision, so that the ratio to a tuned
// library is visible. Every iteration copies the input in first, on both
// sides, since the transforms work in place. FFTW plans with FFTW_ESTIMATE.
#include <benchmark/benchmark.h>

#include <fftw3.h>

#include <cstring>
#include <vector>

#include "array/array.h"

namespace {

std::vector<float> test_values(size_t count) {
  std::vector<float> values(count);
  uint32_t seed = 12345;
  for (float& v : values) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<float>(seed >> 16 & 0x7FFF) / 32768.0f - 0.5f;
  }
  return values;
}

int16_t order_of(const benchmark::State& state) { return static_cast<int16_t>(state.range(0)); }

void BM_ComplexFFT(benchmark::State& state) {
  const int16_t k = order_of(state);
  const size_t n = size_t{1} << k;
  const std::vector<float> input = test_values(2 * n);
  std::vector<float> work(2 * n);
  for (auto _ : state) {
    std::memcpy(work.data(), input.data(), input.size() * sizeof(float));
    ap4c_BitReverse(work.data(), k);
    ap4c_BitReverse(work.data() + n, k);
    ap4c_ComplexFFT(work.data(), k, AP4C_FFT_FORWARD);
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_ComplexFFT_FFTW(benchmark::State& state) {
  const size_t n = size_t{1} << order_of(state);
  const std::vector<float> input = test_values(2 * n);
  auto* work = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * n));
  fftwf_plan plan = fftwf_plan_dft_1d(static_cast<int>(n), work, work, FFTW_FORWARD, FFTW_ESTIMATE);
  for (auto _ : state) {
    std::memcpy(work, input.data(), input.size() * sizeof(float));
    fftwf_execute(plan);
    benchmark::DoNotOptimize(work);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(work);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

// The forward real transform in the order the ARRAY FFT calls the kernels.
void BM_RealFFT(benchmark::State& state) {
  const int16_t k = order_of(state);
  const size_t n = size_t{1} << k;
  const std::vector<float> input = test_values(n);
  std::vector<float> work(n);
  for (auto _ : state) {
    std::memcpy(work.data(), input.data(), n * sizeof(float));
    ap4c_BitReverse(work.data(), k);
    ap4c_ComplexFFT(work.data(), static_cast<int16_t>(k - 1), AP4C_FFT_FORWARD);
    ap4c_RealSpectrumPass(work.data(), k, AP4C_FFT_FORWARD);
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

void BM_RealFFT_FFTW(benchmark::State& state) {
  const size_t n = size_t{1} << order_of(state);
  const std::vector<float> input = test_values(n);
  auto* in = static_cast<float*>(fftwf_malloc(sizeof(float) * n));
  auto* out = static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * (n / 2 + 1)));
  fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(n), in, out, FFTW_ESTIMATE);
  for (auto _ : state) {
    std::memcpy(in, input.data(), n * sizeof(float));
    fftwf_execute(plan);
    benchmark::DoNotOptimize(out);
  }
  fftwf_destroy_plan(plan);
  fftwf_free(out);
  fftwf_free(in);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * n));
}

// The complex transform reaches 2^19 points, the real one 2^20 (a complex
// transform of half the length).
BENCHMARK(BM_ComplexFFT)->DenseRange(10, 19, 3);
BENCHMARK(BM_ComplexFFT_FFTW)->DenseRange(10, 19, 3);
BENCHMARK(BM_RealFFT)->DenseRange(10, 20, 2);
BENCHMARK(BM_RealFFT_FFTW)->DenseRange(10, 20, 2);

}  // namespace
