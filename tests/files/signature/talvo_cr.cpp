// A stand-in for the workstation's electronic-signature library, built for
// the signing tests only: its AP135_SignFile signs nothing but keeps the
// arguments of every call, which the tests read back through
// StandIn_SignCalls and StandIn_SignedText.
#include <cstdint>
#include <string>
#include <vector>

namespace {

struct SignCall {
  uint32_t first;
  uint16_t count;
  std::vector<std::string> texts;
  uint32_t last;
};

std::vector<SignCall>& calls() {
  static std::vector<SignCall> recorded;
  return recorded;
}

}  // namespace

extern "C" int32_t AP135_SignFile(uint32_t first, uint16_t count, const char* const* texts, uint32_t last) {
  SignCall call{first, count, {}, last};
  for (uint16_t index = 0; texts != nullptr && index < count; ++index)
    call.texts.push_back(texts[index] != nullptr ? texts[index] : "");
  calls().push_back(call);
  return 1;
}

// The number of calls so far; with a call's index, its first and last
// numbers and its count.
extern "C" int32_t StandIn_SignCalls(int32_t index, uint32_t* first, uint32_t* count, uint32_t* last) {
  if (index >= 0 && static_cast<size_t>(index) < calls().size()) {
    *first = calls()[index].first;
    *count = calls()[index].count;
    *last = calls()[index].last;
  }
  return static_cast<int32_t>(calls().size());
}

// A text of a call, or null.
extern "C" const char* StandIn_SignedText(int32_t index, int32_t text) {
  if (index < 0 || static_cast<size_t>(index) >= calls().size()) return nullptr;
  const std::vector<std::string>& texts = calls()[index].texts;
  return text >= 0 && static_cast<size_t>(text) < texts.size() ? texts[text].c_str() : nullptr;
}
