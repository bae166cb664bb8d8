// Classification by Mahalanobis distance in factor space. Calibration
// centres a training matrix per class, extracts its principal factors
// (ARRAY message 81) and appends to four caller-owned lists, one entry per
// class, the class mean, the inverse-eigenvalue weights, the transposed
// loadings and the cumulative explained percentages. Prediction measures a
// test spectrum against every class of such a model.
//
// Exported, and reached through ARRAY messages 351, 124 and 123.
#include <cmath>
#include <cstdint>
#include <vector>

#include "chemometrics/chemometrics.h"
#include "platform/memory.h"

namespace {

constexpr float kVarianceShare = 99.99f;
// The weight of a factor whose eigenvalue is 0 or negative.
constexpr float kEmptyFactorWeight = 10000.0f;

AP_OBJECT* kx_ap4_object(AP4_ARRAY* array) { return reinterpret_cast<AP_OBJECT*>(array); }

bool kx_ap4_is_list(const AP40_LLIST* list) {
  return !IsBadReadPtr(list, sizeof *list) && list->head.class_id == AP40_CLASS_ID;
}

// Appends an array to a list; the list owns it from then on, and on
// failure the array is deleted.
bool kx_ap4_append(AP40_LLIST* list, ap4a_new_array& array) {
  if (ap40_Add_LLIST(list, kx_ap4_object(array.get())) == AP40_NO_INDEX) return false;
  array.release();
  return true;
}

uint32_t kx_ap4_count_of(AP40_LLIST* list) { return GU2_DoMethod_MSG(AP40_MSG_COUNT, list, nullptr); }

AP4_ARRAY* kx_ap4_member(AP40_LLIST* list, uint32_t index) {
  AP40_INDEXPARM parameter{index};
  auto* member = ap_result_object<AP4_ARRAY>(GU2_DoMethod_MSG(AP40_MSG_AT_INDEX, list, &parameter));
  return ap4a_is_array(member) ? member : nullptr;
}

// Which class each sample is of: its label matched to 0 .. c-1, or -1 for
// a label that names none (every sample is of class 0 when unlabelled).
std::vector<int32_t> kx_ap4_classes_of(const AP4_ARRAY* labels, uint32_t samples, uint32_t classes) {
  std::vector<int32_t> of(samples, labels == nullptr ? 0 : -1);
  if (labels == nullptr) return of;
  const float* label = ap4a_GetDataAddress(labels);
  const uint32_t stride = (labels->rows == 1 || labels->columns == 1) ? 1 : labels->columns;
  for (uint32_t i = 0; i < samples && label != nullptr; ++i)
    for (uint32_t k = 0; k < classes; ++k)
      if (AP1_KovFloatCompareSG_MATH(label[i * stride], static_cast<float>(k))) {
        of[i] = static_cast<int32_t>(k);
        break;
      }
  return of;
}

void kx_ap4_clear_row(float* data, uint32_t row, uint32_t p) {
  for (uint32_t j = 0; j < p; ++j) data[row * p + j] = 0.0f;
}

// One model from the prepared matrix: the weights (f × f), the transposed
// loadings (f × p) and the cumulative percentages (1 × at least `wanted`),
// with the explained share out.
struct kx_ap4_factor_model {
  ap4a_new_array weights;
  ap4a_new_array loadings;
  ap4a_new_array percent;
};

bool kx_ap4_factor_step(const AP4_ARRAY* x, uint16_t wanted, bool widen, uint16_t scale, int32_t dof,
                        kx_ap4_factor_model* model, float* explained) {
  AP4_ARRAY* scores_out = nullptr;
  AP4_ARRAY* loadings_out = nullptr;
  AP4_ARRAY* eigenvalues_out = nullptr;
  float total = 0.0f;
  uint32_t found = 0;
  if (!ap4b_ExtractFactors(x, wanted, kVarianceShare, 0, &scores_out, &loadings_out, &eigenvalues_out, &total,
                           &found))
    return false;
  ap4a_new_array scores(scores_out);
  ap4a_new_array loadings(loadings_out);
  model->percent.reset(eigenvalues_out);
  if (widen && found < wanted && !ap4a_InsertColumns(model->percent.get(), static_cast<int32_t>(found),
                                                     static_cast<int32_t>(wanted - found)))
    return false;
  model->weights.reset(ap4a_New(AP4_CLASS_ID, found, found, nullptr));
  if (model->weights.get() == nullptr) return false;
  float* w = ap4a_GetDataAddress(model->weights.get());
  float* e = ap4a_GetDataAddress(model->percent.get());
  const uint32_t columns = model->percent.get()->columns;
  double sum = 0.0;
  for (uint32_t j = 0; j < columns; ++j) {
    sum += e[j];
    if (j < found) {
      const float weight =
          (e[j] < 0.0f || AP1_KovFloatCompareSG_MATH(e[j], 0.0f)) ? kEmptyFactorWeight : 1.0f / e[j];
      w[j * found + j] = (scale && dof >= 1) ? static_cast<float>(dof) * weight / static_cast<float>(found) : weight;
    }
    e[j] = total > 0.0f ? static_cast<float>(sum * 100.0 / total) : 0.0f;
  }
  *explained = total > 0.0f ? static_cast<float>(sum / (total / 100.0)) : static_cast<float>(sum);
  model->loadings.reset(ap4a_Transpose(loadings.get()));
  return model->loadings.get() != nullptr;
}

bool kx_ap4_hand_over(kx_ap4_factor_model& model, AP40_LLIST* weights, AP40_LLIST* loadings, AP40_LLIST* percent) {
  return kx_ap4_append(weights, model.weights) && kx_ap4_append(loadings, model.loadings) &&
         kx_ap4_append(percent, model.percent);
}

}  // namespace

APEXPORT int16_t KX_AP4_MahalanobisCalibEx_ARRAY(AP4_ARRAY* x, AP4_ARRAY* labels, int32_t classes, uint16_t* factors,
                                                 uint16_t scale, uint16_t per_class, int32_t selected,
                                                 uint16_t centre, AP40_LLIST* means, AP40_LLIST* weights,
                                                 AP40_LLIST* loadings, AP40_LLIST* percent, float* explained) {
  const bool labelled = classes != 0;
  if (!labelled) {
    classes = 1;
    selected = 0;
  }
  if (selected < 0 || selected > classes) selected = 0;
  if (!ap4a_is_array(x) || !ap4a_is_array(labels) || classes < 1 || labels->rows != x->rows) return 0;
  if (IsBadReadPtr(factors, sizeof *factors) || IsBadWritePtr(explained, sizeof *explained)) return 0;
  if (!kx_ap4_is_list(means) || !kx_ap4_is_list(weights) || !kx_ap4_is_list(loadings) || !kx_ap4_is_list(percent))
    return 0;
  if (classes > 1) centre = 1;
  float* data = ap4a_GetDataAddress(x);
  if (data == nullptr) return 0;
  const uint32_t n = x->rows;
  const uint32_t p = x->columns;
  const auto c = static_cast<uint32_t>(classes);
  const std::vector<int32_t> class_of = kx_ap4_classes_of(labelled ? labels : nullptr, n, c);
  auto count_of = [&](uint32_t k) {
    uint32_t count = 0;
    for (uint32_t i = 0; i < n; ++i) count += class_of[i] == static_cast<int32_t>(k) ? 1 : 0;
    return count;
  };
  const uint16_t wanted = *factors;

  if (per_class && c > 1) {
    for (uint32_t k = 0; k < c; ++k) {
      ap4a_new_array own(ap4a_Duplicate(x, nullptr));
      if (own.get() == nullptr) return 0;
      float* rows = ap4a_GetDataAddress(own.get());
      for (uint32_t i = 0; i < n; ++i)
        if (class_of[i] != static_cast<int32_t>(k)) kx_ap4_clear_row(rows, i, p);
      const uint32_t count = count_of(k);
      const int32_t dof = count > 0 ? static_cast<int32_t>(count) - 1 : 0;
      kx_ap4_factor_model model;
      if (!kx_ap4_factor_step(own.get(), wanted, true, scale, dof, &model, explained) ||
          !kx_ap4_hand_over(model, weights, loadings, percent))
        return 0;
    }
    return 1;
  }

  int32_t dof = 0;
  {
    ap4a_change_bracket bracket(x);
    if (!bracket.begun()) return 0;
    for (uint32_t k = 0; k < c; ++k) {
      ap4a_new_array mean(ap4a_New(AP4_CLASS_ID, 1, p, nullptr));
      if (mean.get() == nullptr) return 0;
      float* m = ap4a_GetDataAddress(mean.get());
      const uint32_t count = count_of(k);
      if (count > 0) dof += static_cast<int32_t>(count) - 1;
      if (centre) {
        // The mean is complete before any sample is centred by it.
        std::vector<double> sum(p, 0.0);
        for (uint32_t i = 0; i < n; ++i)
          if (class_of[i] == static_cast<int32_t>(k))
            for (uint32_t j = 0; j < p; ++j) sum[j] += data[i * p + j];
        for (uint32_t j = 0; j < p && count > 0; ++j) m[j] = static_cast<float>(sum[j] / count);
        const bool kept = selected == 0 || selected == static_cast<int32_t>(k) + 1;
        for (uint32_t i = 0; i < n; ++i) {
          if (class_of[i] != static_cast<int32_t>(k)) continue;
          if (!kept) {
            kx_ap4_clear_row(data, i, p);
            continue;
          }
          for (uint32_t j = 0; j < p; ++j) data[i * p + j] -= m[j];
        }
      }
      if (!kx_ap4_append(means, mean)) return 0;
    }
    // A sample of no class takes no part in the pooled model.
    for (uint32_t i = 0; i < n; ++i)
      if (class_of[i] < 0) kx_ap4_clear_row(data, i, p);
  }
  kx_ap4_factor_model model;
  if (!kx_ap4_factor_step(x, wanted, false, scale, dof, &model, explained)) return 0;
  // Every further class shares the pooled model through copies of its own.
  std::vector<ap4a_new_array> copies(3 * (c - 1));
  for (uint32_t k = 0; k + 1 < c; ++k) {
    copies[3 * k].reset(ap4a_Duplicate(model.weights.get(), nullptr));
    copies[3 * k + 1].reset(ap4a_Duplicate(model.loadings.get(), nullptr));
    copies[3 * k + 2].reset(ap4a_Duplicate(model.percent.get(), nullptr));
    if (copies[3 * k].get() == nullptr || copies[3 * k + 1].get() == nullptr || copies[3 * k + 2].get() == nullptr)
      return 0;
  }
  if (!kx_ap4_hand_over(model, weights, loadings, percent)) return 0;
  for (uint32_t k = 0; k + 1 < c; ++k)
    if (!kx_ap4_append(weights, copies[3 * k]) || !kx_ap4_append(loadings, copies[3 * k + 1]) ||
        !kx_ap4_append(percent, copies[3 * k + 2]))
      return 0;
  return 1;
}

APEXPORT int16_t KX_AP4_MahalanobisCalib_ARRAY(AP4_ARRAY* x, AP4_ARRAY* labels, int32_t classes, uint16_t* factors,
                                               uint16_t scale, uint16_t per_class, int32_t selected,
                                               AP40_LLIST* means, AP40_LLIST* weights, AP40_LLIST* loadings,
                                               AP40_LLIST* percent, float* explained) {
  return KX_AP4_MahalanobisCalibEx_ARRAY(x, labels, classes, factors, scale, per_class, selected, 1, means, weights,
                                         loadings, percent, explained);
}

// Every class entry is checked against x before it is used, and a class's
// scores never run past the scores array.
APEXPORT int16_t KX_AP4_MahalanobisPredict_ARRAY(AP4_ARRAY* x, AP40_LLIST* loadings, AP40_LLIST* weights,
                                                 AP40_LLIST* means, GU3_HANDLE counts, uint16_t root,
                                                 int32_t selected, AP4_ARRAY** distances_out,
                                                 AP4_ARRAY** scores_out) {
  if (!kx_ap4_is_list(loadings) || !kx_ap4_is_list(weights) || !kx_ap4_is_list(means) || !ap4a_is_array(x)) return 0;
  if (IsBadWritePtr(distances_out, sizeof *distances_out) || IsBadWritePtr(scores_out, sizeof *scores_out)) return 0;
  const uint32_t p = x->columns;
  // Class k's loadings (fk × p, fk at most f), weights (fk × fk) and mean.
  auto fits = [&](uint32_t k, uint32_t most) {
    const AP4_ARRAY* l = kx_ap4_member(loadings, k);
    const AP4_ARRAY* w = kx_ap4_member(weights, k);
    const AP4_ARRAY* m = kx_ap4_member(means, k);
    return l != nullptr && w != nullptr && m != nullptr && l->columns == p && m->columns == p && m->rows >= 1 &&
           l->rows >= 1 && l->rows <= most && w->rows == l->rows && w->columns == l->rows;
  };
  if (!fits(0, UINT32_MAX)) return 0;
  const uint32_t f = kx_ap4_member(loadings, 0)->rows;
  const uint32_t c = kx_ap4_count_of(means);
  if (selected < 0 || static_cast<uint32_t>(selected) > c) selected = 0;
  const uint32_t first = selected > 0 ? static_cast<uint32_t>(selected) - 1 : 0;
  const uint32_t m = selected > 0 ? 1 : c;
  const uint16_t* limit = nullptr;
  if (counts != nullptr) {
    limit = static_cast<const uint16_t*>(GU3_GetPointer_MM(counts, 0, nullptr, nullptr));
    if (limit == nullptr || uint64_t{GU3_NumElements_MM(counts)} * GU3_LenElements_MM(counts) < 2ull * c) return 0;
  }
  ap4a_new_array distances(ap4a_New(AP4_CLASS_ID, m, 3, nullptr));
  ap4a_new_array scores(ap4a_New(AP4_CLASS_ID, m, f, nullptr));
  if (distances.get() == nullptr || scores.get() == nullptr) return 0;
  float* table = ap4a_GetDataAddress(distances.get());
  float* score = ap4a_GetDataAddress(scores.get());
  const float* sample = ap4a_GetDataAddress(x);
  if (table == nullptr || score == nullptr || sample == nullptr) return 0;
  std::vector<double> t(f);
  for (uint32_t r = 0; r < m; ++r) {
    const uint32_t k = first + r;
    if (!fits(k, f)) return 0;
    const AP4_ARRAY* l = kx_ap4_member(loadings, k);
    const float* lv = ap4a_GetDataAddress(l);
    const float* wv = ap4a_GetDataAddress(kx_ap4_member(weights, k));
    const float* mean = ap4a_GetDataAddress(kx_ap4_member(means, k));
    if (lv == nullptr || wv == nullptr || mean == nullptr) return 0;
    const uint32_t own = l->rows;
    const uint32_t fk = (limit != nullptr && limit[k] > 0 && limit[k] < own) ? limit[k] : own;
    for (uint32_t a = 0; a < fk; ++a) {
      double sum = 0.0;
      for (uint32_t j = 0; j < p; ++j) sum += static_cast<double>(lv[a * p + j]) * (sample[j] - mean[j]);
      t[a] = static_cast<float>(sum);
      *score++ = static_cast<float>(sum);
    }
    double d = 0.0;
    for (uint32_t a = 0; a < fk; ++a) {
      double u = 0.0;
      for (uint32_t b = 0; b < fk; ++b) u += static_cast<double>(wv[a * own + b]) * t[b];
      d += t[a] * u;
    }
    const float distance = root ? AP1_SquareRoot_MATH(static_cast<float>(d)) : static_cast<float>(d);
    // Sorted by insertion: a row goes before earlier rows of equal distance.
    uint32_t at = r;
    while (at > 0 && distance <= table[(at - 1) * 3 + 1]) {
      for (uint32_t j = 0; j < 3; ++j) table[at * 3 + j] = table[(at - 1) * 3 + j];
      --at;
    }
    table[at * 3] = static_cast<float>(k);
    table[at * 3 + 1] = distance;
    table[at * 3 + 2] = 0.0f;
  }
  AP4_ARRAY* transposed = ap4a_Transpose(distances.get());
  if (transposed == nullptr) return 0;
  *distances_out = transposed;
  *scores_out = scores.release();
  return 1;
}
