// The FileCnvt object: the GAML and native file tests of ValidateFormat,
// the format pairs ConvertFile accepts, its name, its callback, and its
// dual interface's late-bound members and error-information answer.
#include <cstring>
#include <filesystem>

#include "converter/filecnvt.h"
#include "converter_support.h"
#include "fake_trace.h"
#include "module_fixture.h"

namespace convertertest {
namespace {

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";  // 39 bytes

ComRef<IFileCnvt> new_converter() {
  ComRef<IFileCnvt> converter;
  EXPECT_EQ(converter::CreateFileCnvt(IID_IFileCnvt, reinterpret_cast<void**>(converter.out())), S_OK);
  return converter;
}

// A native header of 304 bytes: the magic text, its zero byte, and the file
// type at byte 288, followed by `extra` bytes.
std::string native_file(uint16_t file_type, size_t extra, char after_magic = '\0') {
  std::string bytes(304 + extra, '\0');
  std::memcpy(bytes.data(), "Spectral Data File\r\n", 20);
  bytes[20] = after_magic;
  std::memcpy(bytes.data() + 288, &file_type, sizeof file_type);
  return bytes;
}

struct FileCase {
  const char* name;
  std::string bytes;
  const char16_t* format;
  HRESULT expected;
};

class ValidateFormat : public testing::TestWithParam<FileCase> {};

TEST_P(ValidateFormat, AnswersWhetherTheFileIsInTheFormat) {
  const FileCase& c = GetParam();
  const std::string path = testsupport::write_file(std::string("files/") + c.name, c.bytes);
  EXPECT_EQ(new_converter()->ValidateFormat(text(path).get(), text(c.format).get()), c.expected);
}

const std::string kGaml = std::string(kDeclaration) + "<GAML version=\"1.20\">\n</GAML>\n";

INSTANTIATE_TEST_SUITE_P(
    Files, ValidateFormat,
    testing::Values(
        FileCase{"gaml", kGaml, u"GAML", S_OK}, FileCase{"gaml_lower", kGaml, u"gaml", S_OK},
        FileCase{"gaml_as_native", kGaml, u"KOV_TLVO", E_FAIL},
        // The element must start at byte 39 of a file of at least 54 bytes.
        FileCase{"gaml_53", std::string(kDeclaration) + "<GAML version=", u"GAML", E_FAIL},
        FileCase{"gaml_54", std::string(kDeclaration) + "<GAML version=\"", u"GAML", S_OK},
        FileCase{"gaml_no_declaration", "<GAML version=\"1.20\">" + std::string(60, ' '), u"GAML", E_FAIL},
        FileCase{"gaml_short_declaration", "<?xml version=\"1.0\"?>\n<GAML version=\"1.20\">" + std::string(30, ' '),
                 u"GAML", E_FAIL},
        FileCase{"gaml_bom", "\xEF\xBB\xBF" + kGaml, u"GAML", E_FAIL},
        FileCase{"gaml_case", std::string(kDeclaration) + "<gaml version=\"1.20\"></gaml>", u"GAML", E_FAIL},
        FileCase{"native_single", native_file(1, 1), u"KOV_TLVO", S_OK},
        FileCase{"native_group", native_file(10, 500), u"kov_tlvo", S_OK},
        FileCase{"native_header_only", native_file(1, 0), u"KOV_TLVO", E_FAIL},
        FileCase{"native_other_type", native_file(2, 1), u"KOV_TLVO", E_FAIL},
        FileCase{"native_magic_not_ended", native_file(1, 1, 'X'), u"KOV_TLVO", E_FAIL},
        FileCase{"native_as_gaml", native_file(1, 1), u"GAML", E_FAIL},
        FileCase{"native_other_code", native_file(1, 1), u"KOV_TLVO1", E_FAIL},
        FileCase{"gaml_other_code", kGaml, u"JCAMP", E_FAIL}),
    [](const testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(ValidateFormatArguments, AMissingFileOrArgumentFails) {
  auto converter = new_converter();
  EXPECT_EQ(converter->ValidateFormat(text(testsupport::home() + "/none.gaml").get(), text(u"GAML").get()), E_FAIL);
  const std::string path = testsupport::write_file("files/any.gaml", kGaml);
  EXPECT_EQ(converter->ValidateFormat(nullptr, text(u"GAML").get()), E_FAIL);
  EXPECT_EQ(converter->ValidateFormat(text(path).get(), nullptr), E_FAIL);
}

TEST(ConverterName, IsANewCopyOfGaml2KovEachTime) {
  auto converter = new_converter();
  for (int i = 0; i < 2; ++i) {
    Bstr name;
    EXPECT_EQ(converter->get_ConverterName(name.out()), S_OK);
    EXPECT_EQ(name.text(), u"GAML2KOV");
  }
  EXPECT_EQ(converter->get_ConverterName(nullptr), E_POINTER);
}

TEST(InitCallback, HoldsTheLastCallbackUntilTheConverterGoes) {
  auto first = fake_trace({});
  auto second = fake_trace({});
  {
    auto converter = new_converter();
    EXPECT_EQ(converter->InitCallback(first.get()), S_OK);
    EXPECT_EQ(first->AddRef(), 3u);  // ours, the converter's, this one
    first->Release();
    EXPECT_EQ(converter->InitCallback(second.get()), S_OK);
    EXPECT_EQ(first->AddRef(), 2u);  // the converter let it go
    first->Release();
    EXPECT_EQ(converter->InitCallback(nullptr), S_OK);
    EXPECT_EQ(second->AddRef(), 2u);
    second->Release();
    EXPECT_EQ(converter->InitCallback(second.get()), S_OK);
  }
  EXPECT_EQ(second->AddRef(), 2u);
  second->Release();
}

TEST(ErrorInformation, IsSupportedForIFileCnvtOnly) {
  auto converter = new_converter();
  ComRef<ISupportErrorInfo> support;
  ASSERT_EQ(converter->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(support.out())), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IFileCnvt), S_OK);
  EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
  ComRef<IFileCnvt> back;
  EXPECT_EQ(support->QueryInterface(IID_IFileCnvt, reinterpret_cast<void**>(back.out())), S_OK);
  EXPECT_EQ(back.get(), converter.get());
  ComRef<IUnknown> other;
  EXPECT_EQ(converter->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(other.out())), E_NOINTERFACE);
}

TEST(LateBinding, NamesGiveTheTypeLibrarysDispids) {
  auto converter = new_converter();
  struct NameCase {
    const char16_t* name;
    DISPID id;
  };
  for (const NameCase& c : {NameCase{u"InitCallback", 1}, NameCase{u"ValidateFormat", 2}, NameCase{u"convertfile", 3},
                            NameCase{u"ConverterName", 4}}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(c.name)};
    DISPID id = 0;
    EXPECT_EQ(converter->GetIDsOfNames(IID_IDispatch, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, c.id);
  }
  LPOLESTR with_parameters[] = {const_cast<LPOLESTR>(u"ConvertFile"), const_cast<LPOLESTR>(u"OutputFormat"),
                                const_cast<LPOLESTR>(u"InputFile"), const_cast<LPOLESTR>(u"Format")};
  DISPID ids[4] = {};
  EXPECT_EQ(converter->GetIDsOfNames(IID_IDispatch, with_parameters, 4, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 3);
  EXPECT_EQ(ids[1], 3);
  EXPECT_EQ(ids[2], 0);
  EXPECT_EQ(ids[3], DISPID_UNKNOWN);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Convert")};
  EXPECT_EQ(converter->GetIDsOfNames(IID_IDispatch, unknown, 1, 0, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
  UINT count = 9;
  EXPECT_EQ(converter->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

TEST(LateBinding, InvokeCallsTheMemberWithItsArgumentsLastFirst) {
  auto converter = new_converter();
  const std::string path = testsupport::write_file("files/invoke.gaml", kGaml);
  VARIANT arguments[2] = {};
  arguments[0].vt = arguments[1].vt = VT_BSTR;
  arguments[0].bstrVal = text(u"GAML").release();  // Format, the last argument
  arguments[1].bstrVal = text(path).release();     // InputFile
  DISPPARAMS call{arguments, nullptr, 2, 0};
  EXPECT_EQ(converter->Invoke(DISPID_ValidateFormat, IID_IDispatch, 0, DISPATCH_METHOD, &call, nullptr, nullptr,
                              nullptr),
            S_OK);
  SysFreeString(arguments[0].bstrVal);
  arguments[0].bstrVal = text(u"KOV_TLVO").release();
  EXPECT_EQ(converter->Invoke(DISPID_ValidateFormat, IID_IDispatch, 0, DISPATCH_METHOD, &call, nullptr, nullptr,
                              nullptr),
            E_FAIL);

  VARIANT result{};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  EXPECT_EQ(converter->Invoke(DISPID_ConverterName, IID_IDispatch, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                              nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(Bstr(result.bstrVal).text(), u"GAML2KOV");

  UINT argument_error = 99;
  VARIANT number = arguments[1];
  arguments[1].vt = VT_I4;
  EXPECT_EQ(converter->Invoke(DISPID_ValidateFormat, IID_IDispatch, 0, DISPATCH_METHOD, &call, nullptr, nullptr,
                              &argument_error),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argument_error, 1u);
  arguments[1] = number;
  DISPPARAMS one{arguments, nullptr, 1, 0};
  EXPECT_EQ(converter->Invoke(DISPID_ValidateFormat, IID_IDispatch, 0, DISPATCH_METHOD, &one, nullptr, nullptr,
                              nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(converter->Invoke(DISPID_ConverterName, IID_IDispatch, 0, DISPATCH_METHOD, &none, &result, nullptr,
                              nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(converter->Invoke(5, IID_IDispatch, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
  for (VARIANT& argument : arguments) VariantClear(&argument);
}

// The reader is not registered here, so a job that gets as far as creating
// it answers REGDB_E_CLASSNOTREG: the format pair passed.
class ConvertFormats : public AttachedModule {
 protected:
  void SetUp() override {
    AttachedModule::SetUp();
    source_ = write_gaml("formats.gaml", experiment({}));
    target_folder_ = testsupport::home() + "/out";
    std::filesystem::create_directories(target_folder_);
  }

  HRESULT convert(const char16_t* from, const char16_t* to) {
    return new_converter()->ConvertFile(text(source_).get(), text(from).get(),
                                        text(target_folder_ + "/out.spa").get(), text(to).get(), nullptr);
  }

  std::string source_;
  std::string target_folder_;
};

TEST_F(ConvertFormats, TheCodesOfEitherCaseReachTheImportJob) {
  EXPECT_EQ(convert(u"GAML", u"KOV_TLVO"), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(convert(u"gaml", u"kov_tlvo"), REGDB_E_CLASSNOTREG);
}

TEST_F(ConvertFormats, AnyOtherPairFailsWithoutTouchingTheTargetFolder) {
  EXPECT_EQ(convert(u"KOV_TLVO", u"GAML"), E_FAIL);
  EXPECT_EQ(convert(u"GAML", u"GAML"), E_FAIL);
  EXPECT_EQ(convert(u"GAML", u"KOV_TLV"), E_FAIL);
  EXPECT_TRUE(std::filesystem::is_empty(target_folder_));
  auto converter = new_converter();
  EXPECT_EQ(converter->ConvertFile(nullptr, text(u"GAML").get(), text(target_folder_ + "/out.spa").get(),
                                   text(u"KOV_TLVO").get(), nullptr),
            E_FAIL);
  EXPECT_EQ(converter->ConvertFile(text(source_).get(), text(u"GAML").get(), nullptr, text(u"KOV_TLVO").get(),
                                   nullptr),
            E_FAIL);
}

}  // namespace
}  // namespace convertertest
