// The gaml2kov host program, run as a user runs it: its commands and usage,
// registration of the server and the reader in the registry store, format
// tests, and the one-line errors that say why a conversion cannot work or
// name the HRESULT of a failed one. Each test process has its own
// $GAML2KOV_HOME, which the program inherits.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/test_home.h"

namespace {

struct HostRun {
  int status;
  std::string out;
  std::string err;
};

// Runs the host with the arguments (each quoted) and collects what it printed.
HostRun host(const std::vector<std::string>& arguments) {
  std::string command = std::string(GAML2KOV_HOST_RUNNER) + " '" + GAML2KOV_HOST + "'";
  for (const std::string& argument : arguments) command += " '" + argument + "'";
  const std::string out = testsupport::home() + "/host.out";
  const std::string err = testsupport::home() + "/host.err";
  const int status = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testsupport::read_file(out), testsupport::read_file(err)};
}

std::string example(const char* name) { return std::string(GAML2KOV_EXAMPLES) + "/" + name; }

std::string output_folder() {
  const std::string folder = testsupport::home() + "/out";
  std::filesystem::create_directories(folder);
  return folder;
}

TEST(Host, HelpNamesEveryCommand) {
  const HostRun run = host({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* command : {"convert IN OUT", "validate FILE FORMAT", "register MODULE", "unregister MODULE"})
    EXPECT_NE(run.out.find(command), std::string::npos) << command;
  EXPECT_TRUE(run.err.empty());
}

TEST(Host, AnythingElseIsAUsageError) {
  for (const auto& arguments : std::vector<std::vector<std::string>>{{}, {"convert", "only-one"}, {"frobnicate"}}) {
    const HostRun run = host(arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("usage: gaml2kov"), std::string::npos);
  }
}

TEST(Host, WithoutRegistrationTheConverterCannotBeCreated) {
  const HostRun run = host({"convert", example("single_trace.gaml"), output_folder() + "/single.spa"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "gaml2kov: cannot create GAML2KOV.FileCnvt: 0x800401F3 (the ProgID is not registered)\n");
}

TEST(Host, RegisteredServerTestsFormats) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  EXPECT_EQ(host({"validate", example("single_trace.gaml"), "GAML"}).status, 0);
  EXPECT_EQ(host({"validate", example("three_traces.gaml"), "gaml"}).status, 0);
  const HostRun native = host({"validate", example("single_trace.gaml"), "KOV_TLVO"});
  EXPECT_EQ(native.status, 1);
  EXPECT_NE(native.err.find("is not a KOV_TLVO file: 0x80004005 (unspecified failure)"), std::string::npos);
}

TEST(Host, AConversionWithoutTheReaderNamesTheReadersFailure) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  const std::string target = output_folder() + "/single.spa";
  const HostRun run = host({"convert", example("single_trace.gaml"), target});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find(": 0x80040154 (the class is not registered)"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_TRUE(std::filesystem::is_empty(output_folder()));  // the folder probe went again
}

TEST(Host, ConvertsTheExamplesIntoNativeFiles) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  ASSERT_EQ(host({"register", GAMLREADER_MODULE}).status, 0);
  for (const char* name : {"single_trace", "three_traces"}) {
    const std::string target = output_folder() + "/" + name + ".native";
    const HostRun converted = host({"convert", example((std::string(name) + ".gaml").c_str()), target});
    EXPECT_EQ(converted.status, 0) << converted.err;
    EXPECT_TRUE(converted.err.empty());
    EXPECT_EQ(host({"validate", target, "KOV_TLVO"}).status, 0);
  }
  const auto written = std::distance(std::filesystem::directory_iterator(output_folder()),
                                     std::filesystem::directory_iterator());
  EXPECT_EQ(written, 2);  // the two files, and no probe file
}

// A document of several traces converted to a ".GAML" name is saved as a
// native group and then turned back into GAML by the export converter, once
// `gaml2kov register` has registered it; without it the conversion fails
// and leaves no file.
TEST(Host, ConvertingToAGamlNameGoesThroughTheRegisteredExportConverter) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  ASSERT_EQ(host({"register", GAMLREADER_MODULE}).status, 0);
  const std::string target = output_folder() + "/three.GAML";
  const HostRun unregistered = host({"convert", example("three_traces.gaml"), target});
  EXPECT_EQ(unregistered.status, 1);
  EXPECT_FALSE(std::filesystem::exists(target));

  const HostRun registered = host({"register", GAMLWRITER_MODULE});
  EXPECT_EQ(registered.status, 0) << registered.err;
  EXPECT_NE(registered.out.find("registered"), std::string::npos);
  const HostRun converted = host({"convert", example("three_traces.gaml"), target});
  EXPECT_EQ(converted.status, 0) << converted.err;
  EXPECT_EQ(host({"validate", target, "GAML"}).status, 0);
  const std::string document = testsupport::read_file(target);
  size_t traces = 0;
  for (size_t at = document.find("<trace "); at != std::string::npos; at = document.find("<trace ", at + 1)) ++traces;
  EXPECT_EQ(traces, 3u);
  const std::string again = output_folder() + "/again.spg";
  EXPECT_EQ(host({"convert", target, again}).status, 0);
  EXPECT_EQ(host({"validate", again, "KOV_TLVO"}).status, 0);
}

// A conversion the host refuses before the server converts anything: the
// one line it prints says what is wrong, and no file is left behind.
struct Refusal {
  const char* what;
  std::string in;
  std::string out;
  std::string line;
};

TEST(Host, AConversionThatCannotWorkSaysWhy) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  ASSERT_EQ(host({"register", GAMLREADER_MODULE}).status, 0);
  const std::string home = testsupport::home();
  const std::string gaml = example("single_trace.gaml");
  const std::string out = home + "/refused";  // a folder of its own, empty
  std::filesystem::create_directories(out);
  testsupport::write_file("notes.txt", "Polystyrene, 32 scans\n");
  testsupport::write_file("plain", "not a folder");
  const std::vector<Refusal> refusals = {
      {"missing input", home + "/none.gaml", out + "/x.spa",
       "gaml2kov: cannot open the input " + home + "/none.gaml: there is no such file\n"},
      {"input folder", out, out + "/x.spa", "gaml2kov: cannot open the input " + out + ": it is a folder\n"},
      {"not GAML", home + "/notes.txt", out + "/x.spa", "gaml2kov: " + home + "/notes.txt is not a GAML document\n"},
      {"missing output folder", gaml, home + "/no/such/x.spa",
       "gaml2kov: the output folder " + home + "/no/such does not exist\n"},
      {"output folder a file", gaml, home + "/plain/x.spa",
       "gaml2kov: the output folder " + home + "/plain is not a folder\n"},
      // No one, root included, makes files in /proc.
      {"output folder not writable", gaml, "/proc/x.spa",
       "gaml2kov: the output folder /proc does not take new files\n"},
  };
  for (const Refusal& refusal : refusals) {
    SCOPED_TRACE(refusal.what);
    const HostRun run = host({"convert", refusal.in, refusal.out});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, refusal.line);
    EXPECT_FALSE(std::filesystem::exists(refusal.out));
  }
  EXPECT_TRUE(std::filesystem::is_empty(out));
  EXPECT_FALSE(std::filesystem::exists(home + "/no"));
}

TEST(Host, UnregisteringTakesTheConverterAway) {
  ASSERT_EQ(host({"register", GAML2KOV_MODULE}).status, 0);
  const HostRun unregistered = host({"unregister", GAML2KOV_MODULE});
  EXPECT_EQ(unregistered.status, 0);
  EXPECT_NE(unregistered.out.find("unregistered"), std::string::npos);
  const HostRun run = host({"validate", example("single_trace.gaml"), "GAML"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("0x800401F3"), std::string::npos);
}

TEST(Host, AModuleThatDoesNotLoadIsReported) {
  const HostRun run = host({"register", testsupport::home() + "/no-such-module.so"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("0x800401F8 (the server module cannot be loaded)"), std::string::npos);
}

// WIN.INI is kept under the name the platform gives it.
TEST(Host, ANewHomeGetsTheInternationalSettingsOfATypicalMachine) {
  std::filesystem::remove_all(testsupport::home() + "/windows");
  EXPECT_EQ(host({"frobnicate"}).status, 2);
  const std::string win_ini = testsupport::read_file(testsupport::home() + "/windows/win.ini");
  for (const char* line : {"[intl]", "sDecimal=.", "sList=,", "sThousand=,"})
    EXPECT_NE(win_ini.find(line), std::string::npos) << line << " in\n" << win_ini;
}

TEST(Host, AHomeWithInternationalSettingsKeepsThem) {
  testsupport::write_file("windows/win.ini", "[intl]\r\nsList=;\r\n");
  EXPECT_EQ(host({"frobnicate"}).status, 2);
  EXPECT_EQ(testsupport::read_file(testsupport::home() + "/windows/win.ini"), "[intl]\r\nsList=;\r\n");
}

}  // namespace
