// Spectral formula arithmetic (message 271): a short formula over the
// spectrum A, an optional second spectrum B, the caller's scalar K and
// numbers, evaluated point by point into a new spectrum.
//
// The formula text comes from outside: it is read once, blanks dropped and
// upper-cased, into a token list of fixed size; a formula needing more
// tokens, constants or intermediate spectra than the tables hold is refused.
// The tokens are then reduced innermost parentheses first, each run of
// tokens by precedence (prefixes, unary minus, * and /, + and -), every step
// making a new intermediate spectrum through the spectrum arithmetic. Only
// the final spectrum survives; A and B are never changed.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "array/array.h"
#include "core/core.h"
#include "platform/codepage.h"
#include "platform/memory.h"
#include "processing/processing.h"
#include "spectrum/spectrum.h"

namespace {

// What the token before the current character was.
enum ap7c_state : uint16_t {
  kStart = 0,
  kOperand = 1,
  kOperator = 2,
  kNegate = 4,
  kConstant = 8,
  kOpen = 16,
  kClose = 32,
};

// How many characters follow the first letter of LOG, EXP and SQRT.
constexpr size_t kLogTail = 2;
constexpr size_t kExpTail = 2;
constexpr size_t kSqrtTail = 3;

bool ap7c_is_constant(uint16_t token) {
  return token >= AP7C_TOKEN_CONSTANT && token < AP7C_TOKEN_CONSTANT + AP7C_MOST_CONSTANTS;
}
bool ap7c_is_spectrum(uint16_t token) {
  return token >= AP7C_TOKEN_SPECTRUM && token < AP7C_TOKEN_SPECTRUM + AP7C_MOST_SPECTRA;
}
bool ap7c_is_function(uint16_t token) {
  return token == AP7C_TOKEN_LOG || token == AP7C_TOKEN_EXP || token == AP7C_TOKEN_SQRT;
}

bool ap7c_push(AP7C_FORMULA& formula, uint16_t token) {
  if (formula.token_count >= AP7C_MOST_TOKENS) return false;
  formula.tokens[formula.token_count++] = token;
  return true;
}

// A constant, folded with a unary minus just before it.
bool ap7c_push_constant(AP7C_FORMULA& formula, float value, uint16_t state) {
  if (state == kNegate) {
    value = -value;
    ap7c_RemoveTokens(&formula, formula.token_count - 1, 1);
  }
  if (formula.constant_count >= AP7C_MOST_CONSTANTS) return false;
  formula.constants[formula.constant_count] = value;
  return ap7c_push(formula, static_cast<uint16_t>(AP7C_TOKEN_CONSTANT + formula.constant_count++));
}

// The extent of a number from `at`: digits, points and exponents with
// their signs.
size_t ap7c_number_end(const std::string& text, size_t at) {
  while (at < text.size()) {
    const char c = text[at];
    if (c == 'E' && at + 1 < text.size() && (text[at + 1] == '+' || text[at + 1] == '-')) {
      at += 2;
    } else if ((c >= '0' && c <= '9') || c == '.' || c == 'E') {
      ++at;
    } else {
      break;
    }
  }
  return at;
}

// The formula's characters as tokens; false for a malformed formula or one
// that overflows a table.
bool ap7c_tokenise(AP7C_FORMULA& formula, const std::string& text, bool has_b, float k) {
  uint16_t state = kStart;
  size_t at = 0;
  while (at < text.size()) {
    if (formula.token_count >= AP7C_MOST_TOKENS) return false;
    const char c = text[at];
    const bool after_value = state == kOperand || state == kConstant || state == kClose;
    switch (c) {
      case 'A':
      case 'B':
      case 'D': {
        if (after_value) return false;
        size_t operand = at;
        while (operand < text.size() && text[operand] == 'D' && operand - at < 2) ++operand;
        if (operand >= text.size() || (text[operand] != 'A' && text[operand] != 'B')) return false;
        if (text[operand] == 'B' && !has_b) return false;
        for (size_t d = at; d < operand; ++d) {
          if (!ap7c_push(formula, AP7C_TOKEN_DERIVATIVE)) return false;
        }
        const uint16_t spectrum = text[operand] == 'A' ? AP7C_TOKEN_SPECTRUM : AP7C_TOKEN_SPECTRUM + 1;
        if (!ap7c_push(formula, spectrum)) return false;
        state = kOperand;
        at = operand + 1;
        break;
      }
      case 'K':
        if (after_value || !ap7c_push_constant(formula, k, state)) return false;
        state = kConstant;
        ++at;
        break;
      case 'L':
      case 'E':
      case 'S': {
        const uint16_t token = c == 'L' ? AP7C_TOKEN_LOG : c == 'E' ? AP7C_TOKEN_EXP : AP7C_TOKEN_SQRT;
        if (!ap7c_push(formula, token)) return false;
        const size_t tail = c == 'L' ? kLogTail : c == 'E' ? kExpTail : kSqrtTail;
        at = std::min(text.size(), at + 1 + tail);
        break;
      }
      case '(':
        if (!ap7c_push(formula, AP7C_TOKEN_OPEN)) return false;
        state = kOpen;
        ++at;
        break;
      case ')':
        if (state == kOpen || !ap7c_push(formula, AP7C_TOKEN_CLOSE)) return false;
        state = kClose;
        ++at;
        break;
      case '+':
      case '*':
      case '/': {
        if (state == kStart || state == kOperator || state == kOpen) return false;
        const uint16_t token = c == '+' ? AP7C_TOKEN_ADD : c == '*' ? AP7C_TOKEN_MULTIPLY : AP7C_TOKEN_DIVIDE;
        if (!ap7c_push(formula, token)) return false;
        state = kOperator;
        ++at;
        break;
      }
      case '-': {
        const bool unary = state == kStart || state == kOperator || state == kOpen;
        if (!ap7c_push(formula, unary ? AP7C_TOKEN_NEGATE : AP7C_TOKEN_SUBTRACT)) return false;
        state = unary ? kNegate : kOperator;
        ++at;
        break;
      }
      default: {
        if ((c < '0' || c > '9') && c != '.') return false;
        if (after_value) return false;
        const size_t end = ap7c_number_end(text, at);
        const std::string number = text.substr(at, end - at);
        const double value = std::strtod(number.c_str(), nullptr);
        if (!std::isfinite(static_cast<float>(value)) || !ap7c_push_constant(formula, static_cast<float>(value), state))
          return false;
        state = kConstant;
        at = end;
        break;
      }
    }
  }
  return true;
}

// ---------------------------------------------------------------------------
// Evaluation

AP7_SPECTRUM* ap7c_spectrum(const AP7C_FORMULA& formula, uint16_t token) {
  return formula.spectra[token - AP7C_TOKEN_SPECTRUM];
}
float& ap7c_constant(AP7C_FORMULA& formula, uint16_t token) {
  return formula.constants[token - AP7C_TOKEN_CONSTANT];
}

// A new intermediate spectrum into the table, its token out; a spectrum
// that finds the table full is deleted.
bool ap7c_adopt(AP7C_FORMULA& formula, AP7_SPECTRUM* made, uint16_t& token) {
  if (made == nullptr) return false;
  if (formula.spectrum_count >= AP7C_MOST_SPECTRA) {
    ap7a_Delete(made, nullptr);
    return false;
  }
  formula.spectra[formula.spectrum_count] = made;
  token = static_cast<uint16_t>(AP7C_TOKEN_SPECTRUM + formula.spectrum_count++);
  return true;
}

// A duplicate of the spectrum changed by one in-place operation over its
// whole range, adopted into the table.
template <typename Change>
bool ap7c_changed_copy(AP7C_FORMULA& formula, AP7_SPECTRUM* spectrum, Change change, uint16_t& token) {
  AP7_SPECTRUM* copy = ap7a_Duplicate(spectrum, nullptr);
  if (copy == nullptr) return false;
  if (!change(copy)) {
    ap7a_Delete(copy, nullptr);
    return false;
  }
  return ap7c_adopt(formula, copy, token);
}

bool ap7c_scaled_copy(AP7C_FORMULA& formula, AP7_SPECTRUM* spectrum, float factor, uint16_t& token) {
  return ap7c_changed_copy(
      formula, spectrum,
      [factor](AP7_SPECTRUM* copy) { return ap7a_MultiplyScalar(copy, AP_NOT_GIVEN, AP_NOT_GIVEN, factor) != 0; },
      token);
}
bool ap7c_shifted_copy(AP7C_FORMULA& formula, AP7_SPECTRUM* spectrum, float shift, uint16_t& token) {
  return ap7c_changed_copy(
      formula, spectrum,
      [shift](AP7_SPECTRUM* copy) { return ap7a_AddScalar(copy, AP_NOT_GIVEN, AP_NOT_GIVEN, shift) != 0; }, token);
}
bool ap7c_filled_copy(AP7C_FORMULA& formula, AP7_SPECTRUM* spectrum, float value, uint16_t& token) {
  return ap7c_changed_copy(
      formula, spectrum,
      [value](AP7_SPECTRUM* copy) { return ap7a_FillRange(copy, AP_NOT_GIVEN, AP_NOT_GIVEN, value) != 0; }, token);
}

// LOG, EXP or SQRT of one value; false outside the function's domain.
bool ap7c_apply(uint16_t function, float value, float& result) {
  if (function == AP7C_TOKEN_LOG) {
    if (!(value > 0.0f)) return false;
    result = std::log10(value);
  } else if (function == AP7C_TOKEN_EXP) {
    result = std::pow(10.0f, value);
  } else {
    if (!(value >= 0.0f)) return false;
    result = std::sqrt(value);
  }
  return true;
}

// The function over a copy of the spectrum, values outside its domain
// missing, the Y unit "other".
bool ap7c_function_copy(AP7C_FORMULA& formula, uint16_t function, AP7_SPECTRUM* spectrum, uint16_t& token) {
  return ap7c_changed_copy(
      formula, spectrum,
      [function](AP7_SPECTRUM* copy) {
        float* y = ap7b_GetDataPtr(copy);
        if (y == nullptr) return false;
        ap7a_change_bracket bracket(copy);
        if (!bracket.begun()) return false;
        const uint32_t n = ap7a_record(copy)->points;
        for (uint32_t i = 0; i < n; ++i) {
          if (!ap1_is_missing(y[i]) && !ap7c_apply(function, y[i], y[i])) y[i] = AP1_GetNaNSG_MATH();
        }
        ap7a_record(copy)->y_units = AP41_YUNITS_OTHER;
        return true;
      },
      token);
}

// The token at index and the `consumed` - 1 after it replaced by one.
void ap7c_replace(AP7C_FORMULA& formula, uint32_t index, uint32_t consumed, uint16_t token) {
  formula.tokens[index] = token;
  ap7c_RemoveTokens(&formula, index + 1, consumed - 1);
}

// A prefix (D or a function) applied to the operand after it; the operand's
// token out.
bool ap7c_prefix(AP7C_FORMULA& formula, uint16_t prefix, uint16_t operand, uint16_t& token) {
  if (prefix == AP7C_TOKEN_DERIVATIVE) {
    if (!ap7c_is_spectrum(operand)) return false;
    return ap7c_adopt(formula, ap7a_Derivative(ap7c_spectrum(formula, operand), AP_NOT_GIVEN, AP_NOT_GIVEN), token);
  }
  if (ap7c_is_spectrum(operand)) return ap7c_function_copy(formula, prefix, ap7c_spectrum(formula, operand), token);
  if (!ap7c_is_constant(operand)) return false;
  float& value = ap7c_constant(formula, operand);
  token = operand;
  return ap7c_apply(prefix, value, value);
}

// left * right or left / right; the token of the result out.
bool ap7c_multiply(AP7C_FORMULA& formula, uint16_t op, uint16_t left, uint16_t right, uint16_t& token) {
  const bool divide = op == AP7C_TOKEN_DIVIDE;
  if (ap7c_is_spectrum(left) && ap7c_is_spectrum(right)) {
    AP7_SPECTRUM* l = ap7c_spectrum(formula, left);
    AP7_SPECTRUM* r = ap7c_spectrum(formula, right);
    AP7_SPECTRUM* made = divide ? ap7a_DivideSpectra(l, AP_NOT_GIVEN, AP_NOT_GIVEN, r)
                                : ap7a_MultiplySpectra(l, AP_NOT_GIVEN, AP_NOT_GIVEN, r);
    return ap7c_adopt(formula, made, token);
  }
  if (ap7c_is_spectrum(left) && ap7c_is_constant(right)) {
    const float c = ap7c_constant(formula, right);
    if (divide && c == 0.0f) return false;
    return ap7c_scaled_copy(formula, ap7c_spectrum(formula, left), divide ? 1.0f / c : c, token);
  }
  if (ap7c_is_constant(left) && ap7c_is_spectrum(right)) {
    const float c = ap7c_constant(formula, left);
    AP7_SPECTRUM* r = ap7c_spectrum(formula, right);
    if (!divide) return ap7c_scaled_copy(formula, r, c, token);
    uint16_t filled = 0;
    return ap7c_filled_copy(formula, r, c, filled) &&
           ap7c_adopt(formula, ap7a_DivideSpectra(ap7c_spectrum(formula, filled), AP_NOT_GIVEN, AP_NOT_GIVEN, r),
                      token);
  }
  if (ap7c_is_constant(left) && ap7c_is_constant(right)) {
    float& l = ap7c_constant(formula, left);
    const float r = ap7c_constant(formula, right);
    if (divide && r == 0.0f) return false;
    l = divide ? l / r : l * r;
    token = left;
    return true;
  }
  return false;
}

// left + right or left - right; the token of the result out.
bool ap7c_add(AP7C_FORMULA& formula, uint16_t op, uint16_t left, uint16_t right, uint16_t& token) {
  const bool subtract = op == AP7C_TOKEN_SUBTRACT;
  const float sign = subtract ? -1.0f : 1.0f;
  if (ap7c_is_spectrum(left) && ap7c_is_spectrum(right)) {
    uint16_t added = right;
    if (subtract && !ap7c_scaled_copy(formula, ap7c_spectrum(formula, right), -1.0f, added)) return false;
    return ap7c_adopt(formula,
                      ap7b_Concatenate(ap7c_spectrum(formula, left), ap7c_spectrum(formula, added)), token);
  }
  if (ap7c_is_spectrum(left) && ap7c_is_constant(right))
    return ap7c_shifted_copy(formula, ap7c_spectrum(formula, left), sign * ap7c_constant(formula, right), token);
  if (ap7c_is_constant(left) && ap7c_is_spectrum(right)) {
    const float c = ap7c_constant(formula, left);
    return ap7c_changed_copy(
        formula, ap7c_spectrum(formula, right),
        [c, sign](AP7_SPECTRUM* copy) {
          return (sign > 0.0f || ap7a_MultiplyScalar(copy, AP_NOT_GIVEN, AP_NOT_GIVEN, -1.0f) != 0) &&
                 ap7a_AddScalar(copy, AP_NOT_GIVEN, AP_NOT_GIVEN, c) != 0;
        },
        token);
  }
  if (ap7c_is_constant(left) && ap7c_is_constant(right)) {
    float& l = ap7c_constant(formula, left);
    l = l + sign * ap7c_constant(formula, right);
    token = left;
    return true;
  }
  return false;
}

// The binary operators of one precedence level, left to right, over the
// run start..start+n; n is lowered as tokens merge. False on error.
template <typename Combine>
bool ap7c_binary_level(AP7C_FORMULA& formula, uint32_t start, uint32_t& n, uint16_t op1, uint16_t op2,
                       Combine combine) {
  for (uint32_t i = 0; i < n;) {
    const uint16_t op = formula.tokens[start + i];
    if (op != op1 && op != op2) {
      ++i;
      continue;
    }
    if (i == 0 || i + 1 >= n) return false;
    uint16_t token = 0;
    if (!combine(formula, op, formula.tokens[start + i - 1], formula.tokens[start + i + 1], token)) return false;
    ap7c_replace(formula, start + i - 1, 3, token);
    n -= 2;
  }
  return true;
}

// Deletes the intermediate spectra except the one kept.
class ap7c_intermediates {
 public:
  ap7c_intermediates(AP7C_FORMULA& formula, uint32_t first) : formula_(formula), first_(first) {}
  ~ap7c_intermediates() {
    for (uint32_t i = first_; i < formula_.spectrum_count; ++i) {
      if (formula_.spectra[i] != kept_) ap7a_Delete(formula_.spectra[i], nullptr);
    }
  }
  ap7c_intermediates(const ap7c_intermediates&) = delete;
  ap7c_intermediates& operator=(const ap7c_intermediates&) = delete;
  AP7_SPECTRUM* keep(uint16_t token) {
    const uint32_t index = token - AP7C_TOKEN_SPECTRUM;
    if (index < first_) return nullptr;
    kept_ = formula_.spectra[index];
    return kept_;
  }

 private:
  AP7C_FORMULA& formula_;
  uint32_t first_;
  AP7_SPECTRUM* kept_ = nullptr;
};

// The formula without blanks, upper-cased.
std::string ap7c_normalised(const char* text) {
  std::string formula;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c != ' ' && *c != '\t') formula += *c;
  }
  CharUpperA(formula.data());
  return formula;
}

}  // namespace

void ap7c_RemoveTokens(AP7C_FORMULA* formula, uint32_t index, uint32_t n) {
  if (n == 0 || index >= formula->token_count) return;
  n = std::min(n, formula->token_count - index);
  for (uint32_t i = index; i + n < formula->token_count; ++i) formula->tokens[i] = formula->tokens[i + n];
  formula->token_count -= n;
  for (uint32_t i = formula->token_count; i < formula->token_count + n; ++i) formula->tokens[i] = AP7C_TOKEN_END;
}

uint32_t ap7c_EvaluateTokens(AP7C_FORMULA* formula, uint32_t start, uint32_t count) {
  if (count < 1 || start >= formula->token_count || count > formula->token_count - start) return 0;
  AP7C_FORMULA& f = *formula;
  uint32_t n = count;
  if (n == 1) {
    const uint16_t single = f.tokens[start];
    uint16_t token = 0;
    if (ap7c_is_spectrum(single)) {
      if (!ap7c_adopt(f, ap7a_Duplicate(ap7c_spectrum(f, single), nullptr), token)) return 0;
    } else if (ap7c_is_constant(single)) {
      if (!ap7c_filled_copy(f, f.spectra[0], ap7c_constant(f, single), token)) return 0;
    } else {
      return 0;
    }
    f.tokens[start] = token;
    return 1;
  }
  // Prefixes bind tightest, the innermost (rightmost) first.
  for (uint32_t i = n - 1; i-- > 0;) {
    const uint16_t prefix = f.tokens[start + i];
    if (prefix != AP7C_TOKEN_DERIVATIVE && !ap7c_is_function(prefix)) continue;
    uint16_t token = 0;
    if (!ap7c_prefix(f, prefix, f.tokens[start + i + 1], token)) return 0;
    ap7c_replace(f, start + i, 2, token);
    --n;
  }
  for (uint32_t i = 0; i < n; ++i) {
    if (f.tokens[start + i] != AP7C_TOKEN_NEGATE) continue;
    const uint16_t operand = i + 1 < n ? f.tokens[start + i + 1] : static_cast<uint16_t>(AP7C_TOKEN_END);
    uint16_t token = 0;
    if (!ap7c_is_spectrum(operand) || !ap7c_scaled_copy(f, ap7c_spectrum(f, operand), -1.0f, token)) return 0;
    ap7c_replace(f, start + i, 2, token);
    --n;
  }
  if (!ap7c_binary_level(f, start, n, AP7C_TOKEN_MULTIPLY, AP7C_TOKEN_DIVIDE, ap7c_multiply) ||
      !ap7c_binary_level(f, start, n, AP7C_TOKEN_ADD, AP7C_TOKEN_SUBTRACT, ap7c_add))
    return 0;
  return n;
}

AP7_SPECTRUM* ap7c_ParseSpectralFormula(AP7_SPECTRUM* a, AP7_SPECTRUM* b, const char* text, float* k) {
  if (ap7a_spectrum(a) == nullptr || (b != nullptr && ap7a_spectrum(b) == nullptr) || text == nullptr ||
      IsBadStringPtrA(text, UINT_PTR(-1)))
    return nullptr;
  const std::string formula = ap7c_normalised(text);
  float given_k = AP1_GetNaNSG_MATH();
  if (formula.find('K') == std::string::npos) {
    if (k != nullptr && !IsBadWritePtr(k, sizeof(float))) *k = AP1_GetNaNSG_MATH();
  } else {
    if (k == nullptr || IsBadReadPtr(k, sizeof(float)) || ap1_is_missing(*k)) return nullptr;
    given_k = *k;
  }

  AP7C_FORMULA tables{};
  tables.spectra[tables.spectrum_count++] = a;
  if (b != nullptr) tables.spectra[tables.spectrum_count++] = b;
  ap7c_intermediates intermediates(tables, tables.spectrum_count);
  if (!ap7c_tokenise(tables, formula, b != nullptr, given_k)) return nullptr;

  for (;;) {
    uint32_t close = 0;
    while (close < tables.token_count && tables.tokens[close] != AP7C_TOKEN_CLOSE) ++close;
    if (close == tables.token_count) break;
    uint32_t open = close;
    while (open > 0 && tables.tokens[open - 1] != AP7C_TOKEN_OPEN) --open;
    if (open == 0) return nullptr;
    --open;
    ap7c_RemoveTokens(&tables, close, 1);
    if (ap7c_EvaluateTokens(&tables, open + 1, close - open - 1) != 1) return nullptr;
    ap7c_RemoveTokens(&tables, open, 1);
  }
  if (tables.token_count == 0 || ap7c_EvaluateTokens(&tables, 0, tables.token_count) != 1 ||
      !ap7c_is_spectrum(tables.tokens[0]))
    return nullptr;
  return intermediates.keep(tables.tokens[0]);
}
