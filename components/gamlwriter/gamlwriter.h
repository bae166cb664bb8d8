// The GAML export converter's class, interface and ids: what the group-file
// class (apcomlib/files/ap51.cpp) includes to call the converter when a
// group is saved under a ".GAML" name, and what the GAML writer component
// implements. The interface lives here, with external linkage, because
// another module implements it: a caller that saw it as private to its own
// source could take the one visible declaration for the only one and bind
// the call to the pure virtual function.
#pragma once
#include "platform/com.h"
#include "platform/oleaut.h"

// {9C4E2A71-5B08-4D3F-A6E2-17F0B8C5D934}
constexpr CLSID CLSID_GamlExportConverter = {
    0x9C4E2A71, 0x5B08, 0x4D3F, {0xA6, 0xE2, 0x17, 0xF0, 0xB8, 0xC5, 0xD9, 0x34}};
// {9C4E2A70-5B08-4D3F-A6E2-17F0B8C5D934}
constexpr IID IID_IGamlExportConverter = {
    0x9C4E2A70, 0x5B08, 0x4D3F, {0xA6, 0xE2, 0x17, 0xF0, 0xB8, 0xC5, 0xD9, 0x34}};

// Its own calls start at slot 7, after IDispatch. The two slots before the
// conversion are never called; they answer E_NOTIMPL and keep ConvertFile
// at slot 9.
class IGamlExportConverter : public IDispatch {
 public:
  virtual HRESULT NotUsed7() { return E_NOTIMPL; }
  virtual HRESULT NotUsed8() { return E_NOTIMPL; }
  // Slot 9: turns the native spectral file `input` (a single spectrum or a
  // group) into the GAML document `output`, replacing a file of that name
  // only when the document is whole. The formats are `input_format`
  // "KOV_TLVO" and `output_format` "GAML"; `extra` is accepted and not used.
  // S_OK, or a failure with no output file made or changed.
  virtual HRESULT ConvertFile(BSTR input, BSTR input_format, BSTR output, BSTR output_format, BSTR extra) = 0;
};
