// The GAML reader component's interfaces and ids: what the converter's GAML
// import includes to walk a document, and what the component implements.
//
// Each interface derives from IDispatch, so its own calls start at slot 7.
// Slots that the converter never calls answer E_NOTIMPL; they are declared
// with that body here only to keep every later call at its fixed position.
// Every object handed out is a new reference that the caller releases;
// every BSTR and VARIANT handed out belongs to the caller. A name list is one
// BSTR holding each name followed by a zero unit, and one more zero unit at
// the end; a name in it is never empty.
#pragma once
#include "platform/com.h"
#include "platform/oleaut.h"

// {5E92A0D4-71B3-4C8F-A046-2B9D3E6F1C75}
constexpr CLSID CLSID_GamlReader = {0x5E92A0D4, 0x71B3, 0x4C8F, {0xA0, 0x46, 0x2B, 0x9D, 0x3E, 0x6F, 0x1C, 0x75}};
// {8B3F6C19-E2A7-4D50-9F14-6C0A85D2B9E3}
constexpr IID IID_IGamlReader = {0x8B3F6C19, 0xE2A7, 0x4D50, {0x9F, 0x14, 0x6C, 0x0A, 0x85, 0xD2, 0xB9, 0xE3}};
// {80DF2C8E-109B-463B-B656-D2F821E0CED7}
constexpr IID IID_IGamlCollection = {0x80DF2C8E, 0x109B, 0x463B, {0xB6, 0x56, 0xD2, 0xF8, 0x21, 0xE0, 0xCE, 0xD7}};
// {78A8894A-0EB0-4153-9CF1-3A09A8CEBB31}
constexpr IID IID_IGamlTrace = {0x78A8894A, 0x0EB0, 0x4153, {0x9C, 0xF1, 0x3A, 0x09, 0xA8, 0xCE, 0xBB, 0x31}};
// {AD8CF4E8-F7B8-4384-A3E0-0AD0FFEBD875}
constexpr IID IID_IGamlElement = {0xAD8CF4E8, 0xF7B8, 0x4384, {0xA3, 0xE0, 0x0A, 0xD0, 0xFF, 0xEB, 0xD8, 0x75}};
// {9F804D9C-0416-4DDD-979E-88516C7A9E74}
constexpr IID IID_IGamlChildList = {0x9F804D9C, 0x0416, 0x4DDD, {0x97, 0x9E, 0x88, 0x51, 0x6C, 0x7A, 0x9E, 0x74}};
// {2E4C0673-5DF2-43D4-B60C-D9DAF5457CB1}
constexpr IID IID_IGamlChild = {0x2E4C0673, 0x5DF2, 0x43D4, {0xB6, 0x0C, 0xD9, 0xDA, 0xF5, 0x45, 0x7C, 0xB1}};
// {0AD3A26D-F9A5-43C2-8D10-502E7C9E9644}
constexpr IID IID_IGamlValues = {0x0AD3A26D, 0xF9A5, 0x43C2, {0x8D, 0x10, 0x50, 0x2E, 0x7C, 0x9E, 0x96, 0x44}};
// {D42B2CE1-1C00-41EF-A26C-5115555752DD}
constexpr IID IID_IGamlParameter = {0xD42B2CE1, 0x1C00, 0x41EF, {0xA2, 0x6C, 0x51, 0x15, 0x55, 0x57, 0x52, 0xDD}};

class IGamlChildList;
class IGamlValues;

// An ordered collection: the traces of a document, the elements of a trace,
// the parameters of a section or group, or the X values of a child. Its items
// answer the interface of their kind (IGamlTrace, IGamlElement,
// IGamlParameter, IGamlValues) through QueryInterface, and their IDispatch
// pointer may be used as that interface directly.
class IGamlCollection : public IDispatch {
 public:
  virtual HRESULT NotUsed7() { return E_NOTIMPL; }
  virtual HRESULT Item(VARIANT index, IDispatch** item) = 0;  // slot 8: VT_I4 index from 0
  virtual HRESULT get_Count(LONG* count) = 0;                 // slot 9
};

// The values of one axis. Unit codes are the reader's own numbers, from the
// unit table in units.h. The array handed out lends the document's own
// values, for reading: it is not written to.
class IGamlValues : public IDispatch {
 public:
  virtual HRESULT get_Values(VARIANT* values) = 0;  // slot 7: VT_ARRAY | VT_R4 or VT_R8, a vector from 0
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  virtual HRESULT NotUsed9() { return E_NOTIMPL; }
  virtual HRESULT NotUsed10() { return E_NOTIMPL; }
  virtual HRESULT get_Units(LONG* code) = 0;  // slot 11
};

class IGamlParameter : public IDispatch {
 public:
  virtual HRESULT get_Value(BSTR* value) = 0;  // slot 7: the text, as written
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  virtual HRESULT get_Name(BSTR* name) = 0;  // slot 9
};

// A Ydata of an element.
class IGamlChild : public IDispatch {
 public:
  virtual HRESULT get_Values(IGamlValues** values) = 0;  // slot 7: the Y values
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  virtual HRESULT get_XValues(IGamlCollection** x_values) = 0;  // slot 9: item 0 holds the element's X values
};

class IGamlChildList : public IDispatch {
 public:
  virtual HRESULT NotUsed7() { return E_NOTIMPL; }
  virtual HRESULT Item(LONG index, IGamlChild** child) = 0;  // slot 8: index from 0
};

// An Xdata of a trace.
class IGamlElement : public IDispatch {
 public:
  virtual HRESULT get_Children(IGamlChildList** children) = 0;  // slot 7
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  virtual HRESULT NotUsed9() { return E_NOTIMPL; }
  virtual HRESULT NotUsed10() { return E_NOTIMPL; }
  virtual HRESULT NotUsed11() { return E_NOTIMPL; }
  virtual HRESULT NotUsed12() { return E_NOTIMPL; }
  virtual HRESULT NotUsed13() { return E_NOTIMPL; }
  virtual HRESULT NotUsed14() { return E_NOTIMPL; }
  virtual HRESULT NotUsed15() { return E_NOTIMPL; }
  virtual HRESULT NotUsed16() { return E_NOTIMPL; }
  virtual HRESULT NotUsed17() { return E_NOTIMPL; }
  virtual HRESULT NotUsed18() { return E_NOTIMPL; }
  virtual HRESULT NotUsed19() { return E_NOTIMPL; }
  virtual HRESULT get_Group(BSTR name, IGamlCollection** parameters) = 0;  // slot 20
  virtual HRESULT get_GroupNames(BSTR* names) = 0;                          // slot 21: a name list
};

class IGamlTrace : public IDispatch {
 public:
  virtual HRESULT get_Elements(IGamlCollection** elements) = 0;  // slot 7
  virtual HRESULT get_Name(BSTR* name) = 0;                      // slot 8
  virtual HRESULT NotUsed9() { return E_NOTIMPL; }
  virtual HRESULT get_Date(VARIANT* date) = 0;  // slot 10: VT_DATE, local time
  virtual HRESULT NotUsed11() { return E_NOTIMPL; }
  virtual HRESULT NotUsed12() { return E_NOTIMPL; }
  virtual HRESULT NotUsed13() { return E_NOTIMPL; }
  virtual HRESULT get_Section(BSTR name, IGamlCollection** parameters) = 0;  // slot 14
  virtual HRESULT get_SectionNames(BSTR* names) = 0;                          // slot 15: a name list
};

class IGamlReader : public IDispatch {
 public:
  virtual HRESULT get_Traces(IGamlCollection** traces) = 0;  // slot 7
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  virtual HRESULT NotUsed9() { return E_NOTIMPL; }
  virtual HRESULT NotUsed10() { return E_NOTIMPL; }
  virtual HRESULT NotUsed11() { return E_NOTIMPL; }
  virtual HRESULT NotUsed12() { return E_NOTIMPL; }
  virtual HRESULT NotUsed13() { return E_NOTIMPL; }
  virtual HRESULT NotUsed14() { return E_NOTIMPL; }
  // Slot 15: parses the document at `path` (an ANSI path of the platform's
  // form) and holds it. `options` and `flags` are accepted and not used; a
  // null `flags` is allowed. A failure leaves the reader without a document.
  virtual HRESULT Load(BSTR path, VARIANT options, LONG* flags) = 0;
};
