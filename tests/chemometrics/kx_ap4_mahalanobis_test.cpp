// Mahalanobis calibration and prediction on a synthetic two-class set
// against numpy (mahalanobis_reference_values.h, made by
// make_mahalanobis_references.py); class selection, unlabelled data,
// per-class models and the refusals of entries that do not fit.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "chemometrics/chemometrics_fixture.h"
#include "chemometrics/mahalanobis_reference_values.h"

namespace {

using namespace chemtest;
namespace ref = mahalanobis_reference;

class Mahalanobis : public ChemometricsTest {
 protected:
  struct Model {
    AP40_LLIST* means = ap40_New_LLIST(nullptr, AP40_NO_KEY);
    AP40_LLIST* weights = ap40_New_LLIST(nullptr, AP40_NO_KEY);
    AP40_LLIST* loadings = ap40_New_LLIST(nullptr, AP40_NO_KEY);
    AP40_LLIST* percent = ap40_New_LLIST(nullptr, AP40_NO_KEY);
    float explained = -1;
    ~Model() {
      for (AP40_LLIST* list : {means, weights, loadings, percent}) ap40_Destroy_LLIST(list, nullptr, 1);
    }
    static uint32_t count(AP40_LLIST* list) { return send(AP40_MSG_COUNT, list); }
    static AP4_ARRAY* at(AP40_LLIST* list, uint32_t index) {
      AP40_INDEXPARM parameter{index};
      return ap_result_object<AP4_ARRAY>(send(AP40_MSG_AT_INDEX, list, &parameter));
    }
  };

  static AP4_ARRAY* training() { return array_of(ref::samples, ref::variables, ref::x); }
  static AP4_ARRAY* labels_of(std::vector<float> labels) {
    return array_of(static_cast<uint32_t>(labels.size()), 1, labels.data());
  }

  static uint32_t calibrate(AP4_ARRAY* x, AP4_ARRAY* labels, int32_t classes, uint16_t factors, Model& model,
                            uint16_t scale = 0, uint16_t per_class = 0, int32_t selected = 0, uint16_t centre = 1) {
    KX_AP4_MAHALCALIBEXPARM parameter{labels,         classes,         &factors,       scale,
                                      per_class,      selected,        centre,         model.means,
                                      model.weights,  model.loadings,  model.percent,  &model.explained};
    return send(KX_AP4_MSG_MAHALANOBIS_CALIB_EX, x, &parameter);
  }

  struct Prediction {
    uint32_t result = 0;
    AP4_ARRAY* distances = nullptr;
    AP4_ARRAY* scores = nullptr;
    ~Prediction() {
      if (distances != nullptr) destroy(distances);
      if (scores != nullptr) destroy(scores);
    }
  };
  static void predict(AP4_ARRAY* x, Model& model, Prediction& out, int32_t selected = 0, uint16_t root = 0,
                      GU3_HANDLE counts = nullptr) {
    KX_AP4_MAHALPREDICTPARM parameter{model.loadings, model.weights, model.means,    counts,
                                      root,           0,             selected,       &out.distances,
                                      &out.scores};
    out.result = send(KX_AP4_MSG_MAHALANOBIS_PREDICT, x, &parameter);
  }
};

TEST_F(Mahalanobis, PooledCalibrationAgreesWithNumpy) {
  AP4_ARRAY* x = training();
  AP4_ARRAY* labels = array_of(ref::samples, 1, ref::labels);
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, ref::factors, model), 1u);
  ASSERT_EQ(Model::count(model.means), 2u);
  ASSERT_EQ(Model::count(model.weights), 2u);
  ASSERT_EQ(Model::count(model.loadings), 2u);
  ASSERT_EQ(Model::count(model.percent), 2u);
  for (uint32_t k = 0; k < 2; ++k)
    expect_near_all(values(Model::at(model.means, k)), ref::class_means + k * ref::variables, ref::variables, 1e-5);
  // X is centred by class in place.
  const Dense centred = dense(x);
  for (uint32_t i = 0; i < ref::samples; ++i)
    for (uint32_t j = 0; j < ref::variables; ++j)
      EXPECT_NEAR(centred.at(i, j),
                  ref::x[i * ref::variables + j] -
                      ref::class_means[static_cast<int>(ref::labels[i]) * ref::variables + j],
                  1e-5);
  // Both classes share one model. The iteration stops once the eigenvalue
  // settles to 1e-6, which leaves the loadings good to about 1e-3.
  for (uint32_t k = 0; k < 2; ++k) {
    const Dense w = dense(Model::at(model.weights, k));
    const Dense l = dense(Model::at(model.loadings, k));
    ASSERT_EQ(w.rows, ref::factors);
    ASSERT_EQ(w.columns, ref::factors);
    ASSERT_EQ(l.rows, ref::factors);
    ASSERT_EQ(l.columns, ref::variables);
    for (uint32_t a = 0; a < ref::factors; ++a) {
      for (uint32_t b = 0; b < ref::factors; ++b)
        EXPECT_NEAR(w.at(a, b), a == b ? 1.0 / ref::eigenvalues[a] : 0.0, 1e-5) << a << " " << b;
      const double sign = l.at(a, 0) * ref::loadings[a * ref::variables] < 0 ? -1 : 1;
      for (uint32_t j = 0; j < ref::variables; ++j)
        EXPECT_NEAR(l.at(a, j), sign * ref::loadings[a * ref::variables + j], 1e-3);
    }
    expect_near_all(values(Model::at(model.percent, k)), ref::percent, ref::factors, 1e-3);
  }
  EXPECT_NEAR(model.explained, ref::explained, 1e-3);
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, PredictionSortsTheClassesByDistance) {
  AP4_ARRAY* x = training();
  AP4_ARRAY* labels = array_of(ref::samples, 1, ref::labels);
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, ref::factors, model), 1u);
  for (uint32_t t = 0; t < 2; ++t) {
    SCOPED_TRACE(t);
    AP4_ARRAY* test = array_of(1, ref::variables, ref::tests + t * ref::variables);
    for (uint16_t root : {0, 1}) {
      Prediction out;
      predict(test, model, out, 0, root);
      ASSERT_EQ(out.result, 1u);
      const Dense d = dense(out.distances);
      ASSERT_EQ(d.rows, 3u);
      ASSERT_EQ(d.columns, 2u);
      // Test 0 lies nearer class 0, test 1 nearer class 1.
      const uint32_t nearer = t;
      const uint32_t farther = 1 - t;
      auto distance = [&](uint32_t k) {
        const double squared = ref::distances[t * 2 + k];
        return root ? std::sqrt(squared) : squared;
      };
      EXPECT_EQ(d.at(0, 0), nearer);
      EXPECT_EQ(d.at(0, 1), farther);
      EXPECT_NEAR(d.at(1, 0), distance(nearer), 1e-3);
      EXPECT_NEAR(d.at(1, 1), distance(farther), 1e-3);
      EXPECT_EQ(d.at(2, 0), 0.0);
      EXPECT_EQ(d.at(2, 1), 0.0);
      const Dense s = dense(out.scores);
      EXPECT_EQ(s.rows, 2u);
      EXPECT_EQ(s.columns, ref::factors);
    }
    // Only the selected class, and a class cut to its first factor.
    Prediction one;
    predict(test, model, one, 2);
    ASSERT_EQ(one.result, 1u);
    EXPECT_EQ(packed(one.distances->columns), 1u);
    EXPECT_EQ(values(one.distances)[0], 1.0f);
    EXPECT_NEAR(values(one.distances)[1], ref::distances[t * 2 + 1], 1e-3);
    GU3_HANDLE counts = GU3_AllocateEx_MM(2, sizeof(uint16_t), 0, __FILE__, __LINE__);
    auto* count = static_cast<uint16_t*>(GU3_GetPointer_MM(counts, 0, nullptr, nullptr));
    count[0] = 1;
    count[1] = 7;  // at least f: all factors
    Prediction cut;
    predict(test, model, cut, 0, 0, counts);
    ASSERT_EQ(cut.result, 1u);
    const Dense d = dense(cut.distances);
    const std::vector<float> s = values(cut.scores);
    // Class 0 used one score (its first), class 1 three.
    const double first = s[0];
    for (uint32_t k = 0; k < 2; ++k) {
      const double expected = d.at(0, k) == 0.0 ? first * first / ref::eigenvalues[0] : ref::distances[t * 2 + 1];
      EXPECT_NEAR(d.at(1, k), expected, 1e-3) << k;
    }
    GU3_Free_MM(counts);
    destroy(test);
  }
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, ScaledWeightsUseTheDegreesOfFreedom) {
  AP4_ARRAY* x = training();
  AP4_ARRAY* labels = array_of(ref::samples, 1, ref::labels);
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, ref::factors, model, 1), 1u);
  // Ten samples in two classes: 8 degrees of freedom.
  const Dense w = dense(Model::at(model.weights, 0));
  for (uint32_t a = 0; a < ref::factors; ++a)
    EXPECT_NEAR(w.at(a, a), 8.0 * (1.0 / ref::eigenvalues[a]) / ref::factors, 1e-5);
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, UnlabelledDataIsOneClassCentredOnTheMeanOfAll) {
  AP4_ARRAY* x = array_of(3, 2, {1, 2, 3, 6, 5, 10});
  AP4_ARRAY* labels = make(3, 1);
  Model model;
  ASSERT_EQ(calibrate(x, labels, 0, 1, model), 1u);
  ASSERT_EQ(Model::count(model.means), 1u);
  EXPECT_EQ(values(Model::at(model.means, 0)), (std::vector<float>{3, 6}));
  EXPECT_EQ(values(x), (std::vector<float>{-2, -4, 0, 0, 2, 4}));
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, ASelectedClassIsCentredAndTheOthersCleared) {
  AP4_ARRAY* x = array_of(6, 2, {1, 1, 2, 4, 3, 5, 4, 8, 5, 9, 6, 7});
  AP4_ARRAY* labels = labels_of({0, 1, 2, 1, 0, 2});
  Model model;
  ASSERT_EQ(calibrate(x, labels, 3, 1, model, 0, 0, 2), 1u);
  EXPECT_EQ(Model::count(model.means), 3u);
  EXPECT_EQ(values(Model::at(model.means, 1)), (std::vector<float>{3, 6}));
  EXPECT_EQ(values(x), (std::vector<float>{0, 0, -1, -2, 0, 0, 1, 2, 0, 0, 0, 0}));
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, SamplesOfNoClassAreCleared) {
  const float nan = AP1_GetNaNSG_MATH();
  AP4_ARRAY* x = array_of(5, 2, {1, 1, 3, 3, 7, 9, 2, 5, 4, 4});
  AP4_ARRAY* labels = labels_of({0, 0, 0.5f, nan, 5});
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, 1, model), 1u);
  EXPECT_EQ(values(x), (std::vector<float>{-1, -1, 1, 1, 0, 0, 0, 0, 0, 0}));
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, AnEmptyFactorWeighsTenThousand) {
  AP4_ARRAY* x = array_of(2, 2, {1, 2, 1, 2});  // nothing left once centred
  AP4_ARRAY* labels = make(2, 1);
  Model model;
  ASSERT_EQ(calibrate(x, labels, 0, 1, model), 1u);
  EXPECT_EQ(values(Model::at(model.weights, 0)), (std::vector<float>{10000.0f}));
  EXPECT_EQ(values(Model::at(model.percent, 0)), (std::vector<float>{0.0f}));
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, PerClassModelsKeepTheirOwnFactorsAndWidenThePercentages) {
  // Class 0 varies along one direction only: one factor explains it all.
  AP4_ARRAY* x = array_of(6, 2, {1, 1, 2, 2, 3, 3, 1, 4, 3, 1, 0, 0});
  AP4_ARRAY* labels = labels_of({0, 0, 0, 1, 1, 1});
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, 2, model, 0, 1), 1u);
  EXPECT_EQ(Model::count(model.means), 0u);
  ASSERT_EQ(Model::count(model.weights), 2u);
  EXPECT_EQ(values(x), (std::vector<float>{1, 1, 2, 2, 3, 3, 1, 4, 3, 1, 0, 0}));
  EXPECT_EQ(packed(Model::at(model.weights, 0)->rows), 1u);
  const std::vector<float> percent = values(Model::at(model.percent, 0));
  ASSERT_EQ(percent.size(), 2u);
  EXPECT_NEAR(percent[0], 100.0, 1e-3);
  EXPECT_EQ(percent[1], percent[0]);
  EXPECT_EQ(packed(Model::at(model.weights, 1)->rows), 2u);
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, EqualDistancesPutTheLaterClassFirst) {
  AP4_ARRAY* x = array_of(4, 2, {0, 0, 2, 2, 0, 0, 2, 2});
  AP4_ARRAY* labels = labels_of({0, 0, 1, 1});
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, 1, model), 1u);
  AP4_ARRAY* test = array_of(1, 2, {3, 0});
  Prediction out;
  predict(test, model, out);
  ASSERT_EQ(out.result, 1u);
  const std::vector<float> d = values(out.distances);
  EXPECT_EQ(d[0], 1.0f);
  EXPECT_EQ(d[1], 0.0f);
  EXPECT_EQ(d[2], d[3]);
  destroy(test);
  destroy(x);
  destroy(labels);
}

TEST_F(Mahalanobis, RefusalsDeliverNothing) {
  AP4_ARRAY* x = training();
  AP4_ARRAY* labels = array_of(ref::samples, 1, ref::labels);
  AP4_ARRAY* short_labels = make(3, 1);
  {
    Model model;
    EXPECT_EQ(calibrate(x, short_labels, 2, 2, model), 0u);
    EXPECT_EQ(calibrate(x, labels, -1, 2, model), 0u);
    EXPECT_EQ(Model::count(model.means), 0u);
  }
  Model model;
  ASSERT_EQ(calibrate(x, labels, 2, ref::factors, model), 1u);
  AP4_ARRAY* wrong_width = make(1, ref::variables + 1);
  AP4_ARRAY* test = make(1, ref::variables);
  GU3_HANDLE one_count = GU3_AllocateEx_MM(1, sizeof(uint16_t), 0, __FILE__, __LINE__);
  Prediction a;
  Prediction b;
  predict(wrong_width, model, a);
  predict(test, model, b, 0, 0, one_count);
  for (Prediction* out : {&a, &b}) {
    EXPECT_EQ(out->result, 0u);
    EXPECT_EQ(out->distances, nullptr);
    EXPECT_EQ(out->scores, nullptr);
  }
  // An entry of another shape than the first's is refused, not read past.
  AP4_ARRAY* wide = make(ref::factors + 1, ref::variables);
  ap40_Add_LLIST(model.loadings, reinterpret_cast<AP_OBJECT*>(wide));
  AP4_ARRAY* mean = make(1, ref::variables);
  ap40_Add_LLIST(model.means, reinterpret_cast<AP_OBJECT*>(mean));
  AP4_ARRAY* weights = make(ref::factors + 1, ref::factors + 1);
  ap40_Add_LLIST(model.weights, reinterpret_cast<AP_OBJECT*>(weights));
  Prediction c;
  predict(test, model, c);
  EXPECT_EQ(c.result, 0u);
  GU3_Free_MM(one_count);
  for (AP4_ARRAY* arr : {x, labels, short_labels, wrong_width, test}) destroy(arr);
}

}  // namespace
