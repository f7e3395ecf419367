#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "driver/config_file.h"
#include "platform/profile_file.h"
#include "support/temp_dir.h"

namespace qmx {
namespace {

std::optional<std::string> Lookup(const std::string& text) {
    std::istringstream in(text);
    return FindProfileValue(in, "QX", "ConnectionType");
}

TEST(ProfileFile, FindsTheKeyOfTheSectionWithoutRegardToCase) {
    struct TCase {
        const char* Name;
        std::string Text;
        std::optional<std::string> Value;
    };
    const TCase cases[] = {
        {"plain", "[QX]\nConnectionType=5\n", "5"},
        {"CRLF lines", "[QX]\r\nConnectionType=5\r\n", "5"},
        {"names in other case", "[qx]\nCONNECTIONTYPE=7\n", "7"},
        {"blanks around names and value", "  [ QX ]  \n\t ConnectionType \t=  12  \n", "12"},
        {"quoted value", "[QX]\nConnectionType=\"4\"\n", "4"},
        {"same key in another section only", "[QY]\nConnectionType=9\n", std::nullopt},
        {"other section first", "[Other]\nConnectionType=9\n[QX]\nConnectionType=2\n", "2"},
        {"other section after", "[QX]\nConnectionType=2\n[Other]\nConnectionType=9\n", "2"},
        {"key missing", "[QX]\nSomething=1\n", std::nullopt},
        {"commented out", "[QX]\n;ConnectionType=1\n", std::nullopt},
        {"empty value", "[QX]\nConnectionType=\n", ""},
        {"byte order mark", "\xEF\xBB\xBF[QX]\nConnectionType=6\n", "6"},
        {"no closing bracket", "[QX\nConnectionType=6\n", "6"},
        {"empty file", "", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(Lookup(c.Text), c.Value) << c.Name;
}

TEST(ProfileFile, IntegerIsTheLeadingDigitsWithOptionalSign) {
    struct TCase {
        const char* Text;
        std::uint32_t Value;
    };
    const TCase cases[] = {
        {"259", 259},
        {"+3", 3},
        {"-1", 0xFFFFFFFFu},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"0x10", 0},
        // Digits beyond 32 bits wrap, keeping the low bits of the number.
        {"4294967299", 3},
        {"1000000000000000000000", 3735027712u},  // 10^21 mod 2^32
    };
    for (const auto& c : cases) EXPECT_EQ(ProfileTextToInt(c.Text), c.Value) << c.Text;
}

TEST(ProfileFile, LineLongerThanTheLimitIsCutNotHeld) {
    const std::string longLine(1 << 20, 'x');
    EXPECT_EQ(Lookup("[QX]\n" + longLine + "\nConnectionType=8\n"), "8");
    const auto cut = Lookup("[QX]\nConnectionType=8" + longLine + "\n");
    ASSERT_TRUE(cut.has_value());
    EXPECT_LT(cut->size(), 8192u);
    EXPECT_EQ(ProfileTextToInt(*cut), 8u);
}

class ConfigFile : public ::testing::Test {
protected:
    test::TWindowsDirectory FWindows;
};

TEST_F(ConfigFile, AbsentFileGivesBlockOneAndCreatesNothing) {
    EXPECT_EQ(ReadConfiguredConnectionType(), 0);
    EXPECT_EQ(FWindows.EntryCount(), 0u);
}

TEST_F(ConfigFile, StoredValueGivesItsLowByte) {
    struct TCase {
        std::string Content;
        std::uint8_t Type;
    };
    const TCase cases[] = {
        {"[QX]\nConnectionType=2\n", 2},
        {"[QX]\nConnectionType=259\n", 3},
        {"[QX]\nConnectionType=-1\n", 255},
        {"[QX]\nConnectionType=junk\n", 0},
        {"[QX]\nOther=4\n", 0},
        {"[QY]\nConnectionType=4\n[QX]\nConnectionType=1\n", 1},
        {"[QY]\nConnectionType=4\n", 0},
        {"[QX]\nConnectionType=99999999999999999999999999\n", 255},  // (10^26 - 1) mod 256
    };
    for (const auto& c : cases) {
        FWindows.Write("cnf.ini", c.Content);
        EXPECT_EQ(ReadConfiguredConnectionType(), c.Type) << c.Content;
    }
}

TEST_F(ConfigFile, NameMatchesWithoutRegardToCase) {
    FWindows.Write("CNF.INI", "[QX]\nConnectionType=1\n");
    EXPECT_EQ(ReadConfiguredConnectionType(), 1);
}

TEST_F(ConfigFile, FileThatIsNotTextReadsAsZero) {
    std::mt19937 random(1234);
    std::string noise(1 << 20, '\0');
    for (auto& c : noise) c = static_cast<char>(random());
    // Keep the noise from spelling the key by accident.
    for (auto& c : noise)
        if (c == '[' || c == '=') c = '#';
    FWindows.Write("cnf.ini", noise);
    EXPECT_EQ(ReadConfiguredConnectionType(), 0);
    FWindows.Write("cnf.ini", noise + "\n[QX]\nConnectionType=4\n");
    EXPECT_EQ(ReadConfiguredConnectionType(), 4);
}

TEST_F(ConfigFile, DirectoryNamedLikeTheFileIsNotTheFile) {
    std::filesystem::create_directory(FWindows.Path() / "cnf.ini");
    EXPECT_EQ(ReadConfiguredConnectionType(), 0);
}

// The trace a host's library takes: the environment's QMX_TRACE overrides
// the station's cnf.ini, and neither means none.
TEST_F(ConfigFile, TraceIsTheEnvironmentsElseTheFilesKey) {
    struct TCase {
        const char* Environment;  // nullptr: unset
        const char* Content;      // nullptr: no cnf.ini
        std::string Trace;
    };
    const TCase cases[] = {
        {nullptr, nullptr, ""},
        {nullptr, "[QX]\r\nConnectionType=5\r\nMetricsDir=C:\\m\r\n", ""},
        {nullptr, "[QX]\r\nConnectionType=5\r\nTrace=C:\\qmx\\wire.log\r\n", "C:\\qmx\\wire.log"},
        {nullptr, "[qx]\ntrace = \"C:\\a b\\wire.log\"\n", "C:\\a b\\wire.log"},
        {nullptr, "[Other]\nTrace=C:\\other.log\n[QX]\nConnectionType=5\n", ""},
        {nullptr, "[QX]\n;Trace=C:\\off.log\n", ""},
        {"/tmp/technician.log", "[QX]\nTrace=C:\\station.log\n", "/tmp/technician.log"},
        {"-", nullptr, "-"},
        {"", "[QX]\nTrace=C:\\station.log\n", "C:\\station.log"},
    };
    const char* previous = std::getenv("QMX_TRACE");
    const std::optional<std::string> kept = previous ? std::optional<std::string>(previous) : std::nullopt;
    for (const auto& c : cases) {
        std::filesystem::remove(FWindows.Path() / "cnf.ini");
        if (c.Content != nullptr) FWindows.Write("cnf.ini", c.Content);
        if (c.Environment != nullptr)
            ::setenv("QMX_TRACE", c.Environment, 1);
        else
            ::unsetenv("QMX_TRACE");
        EXPECT_EQ(ReadConfiguredTracePath(), c.Trace) << (c.Environment ? c.Environment : "(unset)") << " | "
                                                      << (c.Content ? c.Content : "(no file)");
    }
    if (kept)
        ::setenv("QMX_TRACE", kept->c_str(), 1);
    else
        ::unsetenv("QMX_TRACE");
}

}  // namespace
}  // namespace qmx
