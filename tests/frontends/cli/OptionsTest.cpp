// The command line: every option, its forms, and the mistakes a user makes.
#include <gtest/gtest.h>

#include "Options.h"
#include "SimOptions.h"

namespace stb::app {
namespace {

TEST(Options, EveryOptionInBothForms) {
  std::string error;
  const auto o =
      ParseOptions({"--headless", "--port", "/dev/ttyUSB0", "--code=APP103", "--log-file", "a.log",
                    "--trace=t.txt", "--response-timeout", "2.5", "--on-address-mismatch=continue"},
                   error);
  ASSERT_TRUE(o) << error;
  EXPECT_TRUE(o->Headless);
  EXPECT_EQ(o->Port, "/dev/ttyUSB0");
  EXPECT_EQ(o->Code, "APP103");
  EXPECT_EQ(o->LogFile, "a.log");
  EXPECT_EQ(o->Trace, "t.txt");
  EXPECT_EQ(o->ResponseTimeoutMs, 2500u);
  EXPECT_EQ(o->OnAddressMismatch, TMismatchAnswer::Continue);
  const auto d = ParseOptions({}, error);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->ResponseTimeoutMs, 30000u);
  EXPECT_EQ(d->OnAddressMismatch, TMismatchAnswer::Ask);
}

// The short forms, and what --inc-dir, --quiet and --verbose carry.
TEST(Options, ShortFormsAndTheConsolesOwn) {
  std::string error;
  const auto o = ParseOptions(
      {"--headless", "-p", "/dev/ttyUSB0", "-c", "APP103", "-q", "--inc-dir", "boxes/inc"}, error);
  ASSERT_TRUE(o) << error;
  EXPECT_EQ(o->Port, "/dev/ttyUSB0");
  EXPECT_EQ(o->Code, "APP103");
  EXPECT_TRUE(o->Quiet);
  EXPECT_FALSE(o->Verbose);
  EXPECT_EQ(o->IncludeDir, "boxes/inc");
  const auto v = ParseOptions({"--headless", "-v"}, error);
  ASSERT_TRUE(v) << error;
  EXPECT_TRUE(v->Verbose);
  EXPECT_EQ(v->IncludeDir, "./inc");
  const auto version = ParseOptions({"-V"}, error);
  ASSERT_TRUE(version) << error;
  EXPECT_TRUE(version->Version);
  EXPECT_FALSE(version->Verbose);
}

// help2man makes the manual page of this text: the usage line first, one
// option a line with its short form beside the long, and the exit statuses.
TEST(Options, HelpIsWhatAManualPageIsMadeOf) {
  const std::string usage = Usage();
  EXPECT_EQ(usage.rfind("Usage: stb-downloader [OPTION]...\n", 0), 0u) << usage;
  for (const char* option :
       {"\n  -p, --port DEVICE ", "\n  -c, --code CODE ", "\n  -q, --quiet ", "\n  -v, --verbose ",
        "\n  -V, --version ", "\n  -h, --help ", "\n  --inc-dir DIR "})
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  const auto exit = usage.find("\nExit status:\n");
  ASSERT_NE(exit, std::string::npos) << usage;
  for (const char* status : {"\n  0 ", "\n  1 ", "\n  2 ", "\n  3 ", "\n  4 ", "\n  129 "})
    EXPECT_NE(usage.find(status, exit), std::string::npos) << status;
}

// The help names the port a run without --port opens, as this platform
// names it (the Windows build is held to it under Wine by tools/wine-tests.sh).
TEST(Options, HelpGivesTheDefaultPortByThisPlatformsName) {
  const std::string usage = Usage();
#ifdef _WIN32
  EXPECT_NE(usage.find("(default COM1)"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("/dev/"), std::string::npos) << usage;
#else
  EXPECT_NE(usage.find("(default /dev/ttyS0)"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("COM1"), std::string::npos) << usage;
#endif
}

TEST(Options, SwitchesAndTheLastOfARepeatedValue) {
  std::string error;
  for (const char* help : {"-h", "--help"}) {
    const auto o = ParseOptions({help}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_TRUE(o->Help);
    EXPECT_FALSE(o->Version || o->ListPorts || o->Headless);
  }
  const auto v = ParseOptions({"--version", "--list-ports"}, error);
  ASSERT_TRUE(v) << error;
  EXPECT_TRUE(v->Version);
  EXPECT_TRUE(v->ListPorts);
  EXPECT_FALSE(v->Help);
  const auto r = ParseOptions(
      {"--port", "/dev/ttyS0", "--port=/dev/ttyUSB1", "--response-timeout=1", "--response-timeout", "86400",
       "--on-address-mismatch", "continue", "--on-address-mismatch=exit"},
      error);
  ASSERT_TRUE(r) << error;
  EXPECT_EQ(r->Port, "/dev/ttyUSB1");
  EXPECT_EQ(r->ResponseTimeoutMs, 86400000u);
  EXPECT_EQ(r->OnAddressMismatch, TMismatchAnswer::Exit);
  // A value may look like an option's, as long as it is not one.
  const auto dash = ParseOptions({"--log-file", "-", "--port", "-1"}, error);
  ASSERT_TRUE(dash) << error;
  EXPECT_EQ(dash->LogFile, "-");
  EXPECT_EQ(dash->Port, "-1");
}

TEST(Options, MistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* error;
  } cases[] = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--port"}, "option --port needs a value"},
      {{"--port="}, "option --port needs a value"},
      {{"--headless=yes"}, "option --headless takes no value"},
      {{"--response-timeout", "soon"}, "--response-timeout takes a number of seconds, not soon"},
      {{"--response-timeout", "-1"}, "--response-timeout takes a number of seconds, not -1"},
      {{"--on-address-mismatch", "maybe"}, "--on-address-mismatch takes exit or continue, not maybe"},
      {{"--code", "APP103"}, "--code needs --headless (in the window, type the code into the log)"},
      {{"--port", ""}, "option --port needs a value"},
      {{"--port", "--headless"}, "option --port needs a value"},
      {{"--headless", "--code"}, "option --code needs a value"},
      {{"--version=1"}, "option --version takes no value"},
      {{"--headless", "APP103"}, "unknown option APP103"},
      {{"--port=/dev/ttyS1", "-x"}, "unknown option -x"},
      {{"--response-timeout", "0"}, "--response-timeout takes a number of seconds, not 0"},
      {{"--response-timeout", "nan"}, "--response-timeout takes a number of seconds, not nan"},
      {{"--response-timeout", "86401"}, "--response-timeout takes a number of seconds, not 86401"},
      {{"--response-timeout", "2s"}, "--response-timeout takes a number of seconds, not 2s"},
      {{"-p"}, "option --port needs a value"},
      {{"--inc-dir"}, "option --inc-dir needs a value"},
      {{"-q"}, "--quiet needs --headless (the station and the windows show what they show)"},
      {{"--headless", "-q", "-v"}, "--quiet and --verbose exclude each other"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(ParseOptions(c.args, error));
    EXPECT_EQ(error, c.error);
  }
}

// A station opens every port it is given: one named twice would take one
// line twice over, so it is refused before anything is opened, naming both
// as they were written. A single run takes the last --port, as before.
TEST(Options, AStationPortNamedTwiceIsRefused) {
  std::string error;
  EXPECT_FALSE(ParseOptions({"--station", "--code", "APP103", "--port", "/dev/ttyUSB0", "--port",
                             "/dev/ttyUSB1", "--port", "/dev/ttyUSB0"},
                            error));
  EXPECT_EQ(error, "port /dev/ttyUSB0 is named twice: /dev/ttyUSB0 and /dev/ttyUSB0");
  const auto single = ParseOptions({"--port", "/dev/ttyUSB0", "--port", "/dev/ttyUSB0"}, error);
  ASSERT_TRUE(single) << error;
  EXPECT_EQ(single->Port, "/dev/ttyUSB0");
  const auto all =
      ParseOptions({"--station", "--code", "APP103", "--port", "all", "--port", "/dev/ttyUSB0"}, error);
  ASSERT_TRUE(all) << error;
  EXPECT_EQ(all->Ports, (std::vector<std::string>{"all", "/dev/ttyUSB0"}));
  // Only Windows spells its COM ports in several ways (under Wine:
  // tests/win32/station-under-wine.sh); elsewhere "COM 1" is a file name.
  const auto spelled = ParseOptions({"--headless", "--port", "COM 1"}, error);
  ASSERT_TRUE(spelled) << error;
  EXPECT_EQ(spelled->Port, "COM 1");
}

// The simulated box's command line: each option reaches the box, in both forms.
TEST(SimOptions, EveryOptionReachesTheBox) {
  std::string error;
  const auto o = sim::ParseSimOptions({"--oui=0A0B",
                                       "--model",
                                       "12.34",
                                       "--hw",
                                       "02.00",
                                       "--boot",
                                       "03.00",
                                       "--native",
                                       "04.00",
                                       "--app1",
                                       "05.00",
                                       "--app2",
                                       "06.FF",
                                       "--date",
                                       "D9912",
                                       "--address=80000000",
                                       "--mode-echo",
                                       "7",
                                       "--ack",
                                       "0D0A4E414B",
                                       "--bps",
                                       "9600",
                                       "--refuse",
                                       "2:1",
                                       "--refuse=5:3",
                                       "--late",
                                       "4:250",
                                       "--late-every=10:300",
                                       "--wrong-sync",
                                       "2",
                                       "--sync-delay",
                                       "50",
                                       "--wrong-report",
                                       "flash",
                                       "--silent-from",
                                       "table-written",
                                       "--flash-char",
                                       "#",
                                       "--last-flash-char",
                                       "!",
                                       "--table-answer",
                                       "X",
                                       "--hang-up-after",
                                       "4",
                                       "--garbage",
                                       "--stray",
                                       "--path-file",
                                       "pty.txt",
                                       "--image-out",
                                       "image.bin",
                                       "--summary",
                                       "box.json"},
                                      error);
  ASSERT_TRUE(o) << error;
  const sim::TBoxConfig& box = o->Box;
  const std::uint8_t identity[] = {0x0A, 0x0B, 0x12, 0x34, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00,
                                   0x05, 0x00, 0x06, 0xFF, 'D',  '9',  '9',  '1',  '2'};
  for (std::size_t i = 0; i < sizeof identity; ++i)
    EXPECT_EQ(box.Identity[i], identity[i]) << "identity byte " << i;
  EXPECT_EQ(box.Address, 0x80000000u);
  EXPECT_EQ(box.ModeEcho, 7);
  EXPECT_EQ(box.Acknowledge, "\r\nNAK");
  EXPECT_EQ(box.Bps, 9600u);
  EXPECT_EQ(box.RefuseBlock, (std::map<int, int>{{2, 1}, {5, 3}}));
  EXPECT_EQ(box.LateBlock, (std::map<int, int>{{4, 250}}));
  EXPECT_EQ(box.LateEvery, 10);
  EXPECT_EQ(box.LateEveryMs, 300);
  EXPECT_EQ(box.WrongSyncAt, 2);
  EXPECT_EQ(box.SyncDelayMs, 50);
  EXPECT_EQ(box.WrongReport, sim::TBoxReport::FlashImage);
  EXPECT_EQ(box.SilentFrom, sim::TBoxPhase::TableWritten);
  EXPECT_EQ(box.FlashCharacter, '#');
  EXPECT_EQ(box.LastFlashCharacter, '!');
  EXPECT_EQ(box.TableAnswer, 'X');
  EXPECT_EQ(box.HangUpAfterBlock, 4);
  EXPECT_TRUE(box.GarbageBetweenReports);
  EXPECT_TRUE(box.StrayInput);
  EXPECT_EQ(o->PathFile, "pty.txt");
  EXPECT_EQ(box.ImageOut, "image.bin");
  EXPECT_EQ(o->SummaryFile, "box.json");
  EXPECT_FALSE(o->Help);

  // --identity sets the whole record; --date after it its date stamp only.
  const auto whole = sim::ParseSimOptions({"--identity", std::string(64, 'F'), "--date", "AB"}, error);
  ASSERT_TRUE(whole) << error;
  EXPECT_EQ(whole->Box.Identity[13], 0xFF);
  EXPECT_EQ(std::string(whole->Box.Identity.begin() + 14, whole->Box.Identity.begin() + 19),
            std::string("AB\0\0\0", 5));
  EXPECT_EQ(whole->Box.Identity[31], 0xFF);

  const auto defaults = sim::ParseSimOptions({}, error);
  ASSERT_TRUE(defaults) << error;
  EXPECT_EQ(defaults->Box.Address, 0x9FC10000u);
  EXPECT_EQ(defaults->Box.Acknowledge, "\r\nACK");
  EXPECT_TRUE(defaults->PathFile.empty());
  const auto help = sim::ParseSimOptions({"-h"}, error);
  ASSERT_TRUE(help) << error;
  EXPECT_TRUE(help->Help);
}

TEST(SimOptions, MistakesAreNamed) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // what the message must contain
  } cases[] = {
      {{"--oui", "22"}, "bad value for --oui: 22"},
      {{"--model", "1.2"}, "bad value for --model: 1.2"},
      {{"--identity", "ABC"}, "bad value for --identity: ABC"},
      {{"--address", "100000000"}, "bad value for --address: 100000000"},
      {{"--mode-echo", "256"}, "bad value for --mode-echo: 256"},
      {{"--ack", "0D0A41434"}, "bad value for --ack: 0D0A41434"},
      {{"--ack", "0D0A4143ZZ"}, "bad value for --ack: 0D0A4143ZZ"},
      {{"--bps", "fast"}, "bad value for --bps: fast"},
      {{"--refuse", "3"}, "bad value for --refuse: 3"},
      {{"--late", "4"}, "bad value for --late: 4"},
      {{"--late-every", "0:250"}, "bad value for --late-every: 0:250"},
      {{"--wrong-sync", "0"}, "bad value for --wrong-sync: 0"},
      {{"--sync-delay", "60001"}, "bad value for --sync-delay: 60001"},
      {{"--wrong-report", "ack"}, "bad value for --wrong-report: ack"},
      {{"--silent-from", "never"}, "bad value for --silent-from: never"},
      {{"--flash-char", "##"}, "bad value for --flash-char: ##"},
      {{"--hang-up-after=-1"}, "bad value for --hang-up-after: -1"},
      {{"--bogus"}, "--bogus"},
      {{"--bps"}, "--bps"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(sim::ParseSimOptions(c.args, error)) << c.error;
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace stb::app
