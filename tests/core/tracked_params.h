// Objects of the parameter tests' parameter-set class that the test that
// made them destroys when it ends, so that nothing of them is left over.
#pragma once
#include <vector>

#include "core/params_fixture.h"

class TrackedParams : public paramstest::ParamsTest {
 protected:
  void TearDown() override {
    for (AP13_CHILD* object : made_) destroy(object);
    ParamsTest::TearDown();
  }
  // A new, initialised object of the class.
  AP13_CHILD* object() {
    AP13_CHILD* made = make();
    made_.push_back(made);
    return made;
  }

 private:
  std::vector<AP13_CHILD*> made_;
};
