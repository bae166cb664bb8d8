// The converter's COM face: the ids of the FileCnvt class, its dual
// interface IFileCnvt and its type library, the interface itself in slot
// order, and the server module's exports. Hosts include this header to
// create "GAML2KOV.FileCnvt" through CoCreateInstance and call it; the server
// (converter/) implements it.
#pragma once
#include "platform/com.h"
#include "platform/oleaut.h"

// {3A7D51C2-94E0-4B6F-8C21-5D0E97A4B318}
constexpr CLSID CLSID_FileCnvt = {0x3A7D51C2, 0x94E0, 0x4B6F, {0x8C, 0x21, 0x5D, 0x0E, 0x97, 0xA4, 0xB3, 0x18}};
// {D2746A1E-5B90-4C3F-8E61-0F4B97C2A358}
constexpr IID IID_IFileCnvt = {0xD2746A1E, 0x5B90, 0x4C3F, {0x8E, 0x61, 0x0F, 0x4B, 0x97, 0xC2, 0xA3, 0x58}};
// {C41E07B9-2D58-4F3A-9B6E-A8172F50D4C6}, version 1.0
constexpr GUID LIBID_GAML2KOVLib = {0xC41E07B9, 0x2D58, 0x4F3A, {0x9B, 0x6E, 0xA8, 0x17, 0x2F, 0x50, 0xD4, 0xC6}};

constexpr char kFileCnvtProgId[] = "GAML2KOV.FileCnvt.1";
constexpr char kFileCnvtVersionIndependentProgId[] = "GAML2KOV.FileCnvt";

// The members' DISPIDs, as the type library gives them.
constexpr DISPID DISPID_InitCallback = 1;
constexpr DISPID DISPID_ValidateFormat = 2;
constexpr DISPID DISPID_ConvertFile = 3;
constexpr DISPID DISPID_ConverterName = 4;

// Converts a GAML document ("GAML") into a native spectral file ("KOV_TLVO")
// and tests whether a file is in either format. Format codes are compared
// without regard to case. Every operation answers an HRESULT and sets no
// error information.
class IFileCnvt : public IDispatch {
 public:
  // Slot 7: keeps the host's callback object; always S_OK.
  virtual HRESULT InitCallback(IDispatch* pGCnvt) = 0;
  // Slot 8: S_OK when the file is in the format, else E_FAIL.
  virtual HRESULT ValidateFormat(BSTR InputFile, BSTR Format) = 0;
  // Slot 9: S_OK when the output file was written; E_FAIL, or the GAML
  // reader's own failure, otherwise. AdditionalParms is not used.
  virtual HRESULT ConvertFile(BSTR InputFile, BSTR InputFormat, BSTR OutputFile, BSTR OutputFormat,
                              BSTR AdditionalParms) = 0;
  // Slot 10: a new copy of "GAML2KOV", which the caller frees.
  virtual HRESULT get_ConverterName(BSTR* pVal) = 0;
};

// The server module's exports, as a host finds them by name.
STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
STDAPI DllCanUnloadNow();
STDAPI DllRegisterServer();
STDAPI DllUnregisterServer();
