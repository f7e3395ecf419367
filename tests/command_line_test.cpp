// The tools' command-line conventions, and the reader's options on them.

#include <gtest/gtest.h>

#include "command_line.h"
#include "options.h"
#include "tank_list.h"

namespace qmx::tools {
namespace {

TCommandLine Sample() {
    TCommandLine line("tool", {{"--com", true}, {"--device", true}, {"--json"}, {"--csv"}, {"--help", false, "-h"},
                               {.Name = "--tag", .TakesValue = true, .Repeats = true}});
    line.Conflicting({"--json", "--csv"});
    line.Conflicting({"--com", "--device"});
    line.Conflicting({"--tag", "--device"});
    return line;
}

// "name=value name=value ..." of a parse, or the problem.
std::string Outcome(const std::vector<std::string>& arguments) {
    const auto parsed = Sample().Parse(arguments);
    if (const auto* problem = std::get_if<std::string>(&parsed)) return "! " + *problem;
    std::string shown;
    for (const auto& option : std::get<std::vector<TGivenOption>>(parsed))
        shown += (shown.empty() ? "" : " ") + option.Name + "=" + option.Value;
    return shown;
}

// --help's options, and so the man page's, from the parser's own table.
TEST(CommandLine, OptionsHelpComesFromTheTable) {
    const TCommandLine line("tool", {{.Name = "--com", .TakesValue = true, .Value = "N", .Help = "COM port N"},
                                     {.Name = "--hidden", .TakesValue = true},
                                     {.Name = "--listen", .TakesValue = true, .Value = "ADDR:PORT",
                                      .Help = "over HTTP\non Linux"},
                                     {.Name = "--help", .Alias = "-h", .Help = "this help"}});
    EXPECT_EQ(line.OptionsHelp(12),
              "  --com N   COM port N\n"
              "  --listen ADDR:PORT\n"
              "            over HTTP\n"
              "            on Linux\n"
              "  --help, -h\n"
              "            this help\n");
    EXPECT_EQ(line.OptionsHelp(14).substr(0, 25), "  --com N     COM port N\n");
}

TEST(CommandLine, SpellingsConflictsAndMistakes) {
    struct TCase {
        std::vector<std::string> Arguments;
        std::string Outcome;
    };
    const TCase cases[] = {
        {{"--com", "3", "--json"}, "--com=3 --json="},
        {{"--com=3"}, "--com=3"},
        {{"--device=/dev/tty=odd"}, "--device=/dev/tty=odd"},
        {{"--com="}, "--com="},
        {{"-h"}, "--help="},
        {{"--json", "--json"}, "--json="},
        {{"--com", "-3"}, "--com=-3"},
        {{"--json", "--csv"}, "! --json and --csv cannot go together"},
        {{"--csv", "--com", "1", "--json"}, "! --csv and --json cannot go together"},
        {{"--com", "1", "--device=x"}, "! --com and --device cannot go together"},
        {{"--com", "1", "--com", "2"}, "! --com is given twice"},
        {{"--tag", "a", "--json", "--tag=b"}, "--tag=a --json= --tag=b"},
        {{"--tag", "a", "--device", "x", "--tag", "b"}, "! --tag and --device cannot go together"},
        {{"--json=yes"}, "! --json takes no value"},
        {{"--com"}, "! --com needs a value"},
        {{"--jsno"}, "! unknown option '--jsno' (did you mean --json?)"},
        {{"--dev=/dev/x"}, "! unknown option '--dev=/dev/x' (did you mean --device?)"},
        {{"--speed", "9600"}, "! unknown option '--speed'"},
        {{"com"}, "! unexpected argument 'com'"},
        {{"-"}, "! unexpected argument '-'"},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& argument : c.Arguments) shown += "[" + argument + "]";
        EXPECT_EQ(Outcome(c.Arguments), c.Outcome) << shown;
    }
}

TEST(CommandLine, AHintNotTheUsage) {
    EXPECT_EQ(Sample().Hint("unknown option '--x'"),
              "tool: unknown option '--x'\nTry 'tool --help' for the usage.\n");
}

TEST(ReaderOptions, NewOptionsAndWhatNeedsNoDevice) {
    struct TCase {
        std::vector<std::string> Arguments;
        bool Taken;
    };
    const TCase cases[] = {
        {{"--list"}, true},
        {{"--list", "--match", "0403:6001", "--json"}, true},
        {{"--list", "--match=usb-FTDI"}, true},
        {{"--list", "--match", "ttyUSB("}, false},  // no regular expression
        {{"--com", "3", "--match", "0403:"}, false},  // narrows --list only
        {{"--version"}, true},
        {{"--com", "3", "--watch", "10", "--metrics", "/tmp/m.prom"}, true},
        {{"--com", "3", "--fast", "--pause=0"}, true},
        {{"--com", "3", "--pause", "70"}, false},  // the pause belongs to the fast mode
        {{"--com", "3", "--watch", "0"}, false},
        {{"--com", "3", "--watch", "1.5"}, false},
        {{"--com", "3", "--fast", "--pause", "-1"}, false},
        {{"--com", "3", "--metrics="}, false},
        {{"--com", "3", "--json", "--csv"}, false},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const auto& argument : c.Arguments) shown += "[" + argument + "]";
        EXPECT_EQ(std::holds_alternative<TOptions>(ParseOptions(c.Arguments)), c.Taken) << shown;
    }
    const auto fast = std::get<TOptions>(ParseOptions({"--device=/dev/x", "--fast", "--pause=15", "--watch=5"}));
    EXPECT_EQ(fast.Device, "/dev/x");
    EXPECT_TRUE(fast.Fast);
    EXPECT_EQ(fast.PauseMs, 15);
    EXPECT_EQ(fast.WatchSeconds, 5);
    EXPECT_EQ(std::get<TOptions>(ParseOptions({"--com", "1", "--fast"})).PauseMs, 70);
}

TEST(TankList, ATankNamedTwiceIsReadOnceWhereItFirstAppears) {
    EXPECT_EQ(ParseTankList("3,1-4,3,2"), (std::vector<int>{3, 1, 2, 4}));
    EXPECT_EQ(std::get<TOptions>(ParseOptions({"--com", "1", "--tanks", "5,5,5"})).Tanks, std::vector<int>{5});
}

}  // namespace
}  // namespace qmx::tools
