// The double-precision matrix product, the symmetric inverse and the
// singular value decomposition of square matrices of 64, 256 and 1024 rows,
// each beside the same work through a tuned library (OpenBLAS dgemm, LAPACK
// dsytrf/dsytri and dgesvd), so that the ratio to it is visible.
#include <benchmark/benchmark.h>

#include <cblas.h>
#include <lapacke.h>

#include <cstring>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "core/core.h"
#include "library.h"

namespace {

// A symmetric, diagonally dominant n × n matrix: positive definite, so that
// both inverses take the same path without pivoting.
std::vector<double> test_matrix(uint32_t n) {
  std::vector<double> m(size_t{n} * n);
  uint32_t seed = 12345;
  for (uint32_t i = 0; i < n; ++i) {
    for (uint32_t j = i; j < n; ++j) {
      seed = seed * 1103515245u + 12345u;
      const double value = static_cast<double>(seed >> 16 & 0x7FFF) / 32768.0 - 0.5;
      m[i * n + j] = m[j * n + i] = value;
    }
    m[i * n + i] += n;
  }
  return m;
}

AP4D_DBLMATRIX matrix_of(uint32_t n, const std::vector<double>& values) {
  AP4D_DBLMATRIX m = AP4D_DblCreate(n, n, 0.0);
  std::memcpy(AP4D_GetData(m, nullptr, nullptr), values.data(), values.size() * sizeof(double));
  return m;
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(64)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond); }

void BM_Product(benchmark::State& state) {
  Library library;
  const auto n = static_cast<uint32_t>(state.range(0));
  AP4D_DBLMATRIX a = matrix_of(n, test_matrix(n));
  for (auto _ : state) {
    AP4D_DBLMATRIX p = AP4D_DblMatrixMultiply(a, a);
    benchmark::DoNotOptimize(p);
    AP4D_DblDestroy(p);
  }
  AP4D_DblDestroy(a);
}
BENCHMARK(BM_Product)->Apply(sizes);

void BM_ProductOpenBLAS(benchmark::State& state) {
  const auto n = static_cast<int>(state.range(0));
  const std::vector<double> a = test_matrix(n);
  std::vector<double> p(a.size());
  for (auto _ : state) {
    cblas_dgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, n, n, n, 1.0, a.data(), n, a.data(), n, 0.0, p.data(), n);
    benchmark::DoNotOptimize(p.data());
  }
}
BENCHMARK(BM_ProductOpenBLAS)->Apply(sizes);

void BM_SymmetricInverse(benchmark::State& state) {
  Library library;
  const auto n = static_cast<uint32_t>(state.range(0));
  AP4D_DBLMATRIX a = matrix_of(n, test_matrix(n));
  for (auto _ : state) {
    AP4D_DBLMATRIX inverse = AP4D_DblSqInverse(a);
    benchmark::DoNotOptimize(inverse);
    AP4D_DblDestroy(inverse);
  }
  AP4D_DblDestroy(a);
}
BENCHMARK(BM_SymmetricInverse)->Apply(sizes);

void BM_SymmetricInverseLAPACK(benchmark::State& state) {
  const auto n = static_cast<lapack_int>(state.range(0));
  const std::vector<double> a = test_matrix(n);
  std::vector<double> work(a.size());
  std::vector<lapack_int> pivots(n);
  for (auto _ : state) {
    work = a;
    LAPACKE_dsytrf(LAPACK_ROW_MAJOR, 'U', n, work.data(), n, pivots.data());
    LAPACKE_dsytri(LAPACK_ROW_MAJOR, 'U', n, work.data(), n, pivots.data());
    benchmark::DoNotOptimize(work.data());
  }
}
BENCHMARK(BM_SymmetricInverseLAPACK)->Apply(sizes);

// The decomposition overwrites its array with U: each pass starts from a
// fresh copy, made outside the timing.
void BM_SVD(benchmark::State& state) {
  Library library;
  const auto n = static_cast<uint32_t>(state.range(0));
  const std::vector<double> values = test_matrix(n);
  std::vector<float> single(values.begin(), values.end());
  uint16_t class_id = AP4_CLASS_ID;
  AP4_NEWPARM parameter{nullptr, n, n};
  auto* a = ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP_MSG_NEW, &class_id, &parameter));
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(ap4a_GetDataAddress(a), single.data(), single.size() * sizeof(float));
    state.ResumeTiming();
    AP4_ARRAY* w = nullptr;
    AP4_ARRAY* v = nullptr;
    benchmark::DoNotOptimize(AP4_SingularValueDecomposition_ARRAY(a, &w, &v));
    ap4a_Delete(w, nullptr);
    ap4a_Delete(v, nullptr);
  }
  ap4a_Delete(a, nullptr);
}
BENCHMARK(BM_SVD)->Apply(sizes);

void BM_SVDLAPACK(benchmark::State& state) {
  const auto n = static_cast<lapack_int>(state.range(0));
  const std::vector<double> a = test_matrix(n);
  std::vector<double> work(a.size());
  std::vector<double> u(a.size());
  std::vector<double> vt(a.size());
  std::vector<double> s(n);
  std::vector<double> superb(n);
  for (auto _ : state) {
    work = a;
    LAPACKE_dgesvd(LAPACK_ROW_MAJOR, 'S', 'A', n, n, work.data(), n, s.data(), u.data(), n, vt.data(), n,
                   superb.data());
    benchmark::DoNotOptimize(s.data());
  }
}
BENCHMARK(BM_SVDLAPACK)->Apply(sizes);

}  // namespace
