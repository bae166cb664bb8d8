// Owners of the COM values the converter handles: a BSTR, an interface
// reference and a VARIANT, each freed, released or cleared when its owner
// goes, on every path. Used throughout the server (FileCnvt, the import job
// and its value access).
#pragma once
#include <new>
#include <string>
#include <utility>

#include "platform/codepage.h"
#include "platform/oleaut.h"

namespace converter {

// One BSTR, freed with its owner. A null BSTR is an empty text.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(BSTR adopted) : text_(adopted) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : text_(other.release()) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~Bstr() { SysFreeString(text_); }

  // A new copy of `text`; holds null for a null text or when memory runs out.
  static Bstr copy_of(BSTR text) { return Bstr(text == nullptr ? nullptr : SysAllocStringLen(text, SysStringLen(text))); }
  static Bstr from(const std::u16string& text) {
    return Bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
  }

  BSTR get() const { return text_; }
  // Frees the text held and hands out the place for a new one.
  BSTR* out() {
    reset(nullptr);
    return &text_;
  }
  BSTR release() { return std::exchange(text_, nullptr); }
  void reset(BSTR adopted) {
    if (adopted != text_) SysFreeString(text_);
    text_ = adopted;
  }
  UINT length() const { return SysStringLen(text_); }
  bool empty() const { return length() == 0; }
  std::u16string text() const { return std::u16string(text_ == nullptr ? u"" : text_, length()); }

  // Appends `count` units; E_OUTOFMEMORY, with the text unchanged, when the
  // longer string cannot be made.
  HRESULT append(const OLECHAR* units, UINT count) {
    BSTR longer = SysAllocStringLen(nullptr, length() + count);
    if (longer == nullptr) return E_OUTOFMEMORY;
    std::char_traits<OLECHAR>::copy(longer, text_ == nullptr ? u"" : text_, length());
    std::char_traits<OLECHAR>::copy(longer + length(), units, count);
    reset(longer);
    return S_OK;
  }
  HRESULT append(const std::u16string& units) { return append(units.data(), static_cast<UINT>(units.size())); }

 private:
  BSTR text_ = nullptr;
};

// The text in the ANSI code page, up to its first zero unit.
inline std::string ansi_text(const OLECHAR* text, UINT length) {
  std::u16string wide(text == nullptr ? u"" : text, length);
  wide.resize(std::char_traits<char16_t>::length(wide.c_str()));
  const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string ansi(bytes > 0 ? static_cast<size_t>(bytes) : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
  ansi.resize(ansi.size() - 1);
  return ansi;
}
inline std::string ansi_text(BSTR text) { return ansi_text(text, SysStringLen(text)); }

// One interface reference, released with its owner.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  explicit ComRef(T* adopted) : object_(adopted) {}
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      reset();
      object_ = std::exchange(other.object_, nullptr);
    }
    return *this;
  }
  ~ComRef() { reset(); }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Releases the reference held and hands out the place for a new one.
  T** out() {
    reset();
    return &object_;
  }
  void reset() {
    if (object_ != nullptr) object_->Release();
    object_ = nullptr;
  }
  // A new reference to the same object, for a callee that takes one over.
  T* add_ref() const {
    if (object_ != nullptr) object_->AddRef();
    return object_;
  }

 private:
  T* object_ = nullptr;
};

// A VARIANT, cleared with its owner.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }

  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// A COM entry point never lets an exception out: memory that runs out is
// E_OUTOFMEMORY, anything else E_FAIL.
template <class Call>
HRESULT guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

}  // namespace converter
