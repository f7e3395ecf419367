// The reader's metrics file: what it holds, that Prometheus' own checker
// takes it, and that it is replaced whole.

#include <gtest/gtest.h>

#include "protocol/answer_doubts.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/whole_file.h"
#include "replaceable_file.h"
#include "inventory/station_inventory.h"
#include "inventory_metrics.h"
#include "metrics.h"
#include "monitor.h"
#include "support/temp_dir.h"
#include "metrics/utf8_text.h"

namespace qmx::tools {
namespace {

namespace fs = std::filesystem;

std::vector<TTankReading> Readings() {
    TTankReading good;
    good.Tank = 1;
    good.Level = 1500.25;
    good.Temperature = -12.5;
    good.SecondValue = 4;
    good.Density = 0.835;
    good.LinkState = 1;
    good.Valid = true;
    TTankReading silent;
    silent.Tank = 2;
    silent.LinkState = 3;
    silent.Reason = TAttemptVerdict::NoAnswer;
    silent.Attempts = 3;
    silent.FailedAttempts = 3;
    TTankReading cold = good;
    cold.Tank = 3;
    cold.Temperature.reset();
    cold.LinkState = 3;
    cold.Valid = false;
    cold.Reason = TAttemptVerdict::InvalidValue;
    cold.Attempts = 1;
    // Valid for the driver, but the answer was another tank's, with a
    // level of spaces.
    TTankReading borrowed = good;
    borrowed.Tank = 4;
    borrowed.Doubts = kNamesOtherTank | kLevelNotNumber;
    // The device had gone: no exchange was made for it.
    TTankReading gone;
    gone.Tank = 5;
    gone.LinkState = 3;
    return {good, silent, cold, borrowed, gone};
}

// Tank 1 after two deliveries and a failed leak test; tank 2 not yet read;
// tank 3 read without a density (nothing at 15 C), its leak test passed.
std::vector<TTankFigures> Figures() {
    TTankFigures full{1, {}, 2, TDelivery{}, TLeakTest{}};
    full.Inventory.GrossLitres = 23456.5;
    full.Inventory.NetLitres = 23301.25;
    full.Inventory.MassKg = 19456.25;
    full.Inventory.UllageLitres = 1543.5;
    full.Inventory.Fill = 0.9375;
    full.LastDelivery->NetLitres = 8012.5;
    full.LastLeakTest->LossLitresPerHour = 0.62;
    TTankFigures partial{3, {}, 0, std::nullopt, TLeakTest{}};
    partial.Inventory.GrossLitres = 5000;
    partial.LastLeakTest->Passed = true;
    return {full, TTankFigures{2, {}, 0, std::nullopt, std::nullopt}, partial};
}

std::string Read(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(Metrics, ValuesOnlyWhereValidAndAReasonForEveryTank) {
    TRoundFigures round;
    round.DurationSeconds = 3.5;
    round.FailedExchanges = 3;
    round.FailedExchangesTotal = 10;
    round.Rounds = 4;
    round.EndedAt = 1765190000.25;
    const std::string text = MetricsText("\\\\.\\COM12", Readings(), round);
    const std::string device = "device=\"\\\\\\\\.\\\\COM12\"";  // backslashes escaped
    const char* expected[] = {
        "qmx_tank_level{DEV,tank=\"1\"} 1500.25\n",
        "qmx_tank_level{DEV,tank=\"3\"} 1500.25\n",
        "qmx_tank_temperature{DEV,tank=\"1\"} -12.5\n",
        "qmx_tank_second_value{DEV,tank=\"1\"} 4\n",
        "qmx_tank_density{DEV,tank=\"1\"} 0.835\n",
        "qmx_tank_valid{DEV,tank=\"1\"} 1\n",
        "qmx_tank_valid{DEV,tank=\"2\"} 0\n",
        "qmx_tank_failure_info{DEV,tank=\"1\",reason=\"none\"} 1\n",
        "qmx_tank_failure_info{DEV,tank=\"2\",reason=\"no_answer\"} 1\n",
        "qmx_tank_failure_info{DEV,tank=\"3\",reason=\"invalid_value\"} 1\n",
        "qmx_tank_failure_info{DEV,tank=\"5\",reason=\"not_asked\"} 1\n",
        "qmx_tank_attempts{DEV,tank=\"2\"} 3\n",
        "qmx_tank_attempts{DEV,tank=\"5\"} 0\n",
        "qmx_tank_link_state{DEV,tank=\"1\"} 1\n",
        "qmx_tank_link_state{DEV,tank=\"2\"} 3\n",
        "qmx_round_duration_seconds{DEV} 3.5\n",
        "qmx_round_failed_exchanges{DEV} 3\n",
        "qmx_failed_exchanges_total{DEV} 10\n",
        "qmx_rounds_total{DEV} 4\n",
        "# TYPE qmx_rounds_total counter\n",
    };
    for (std::string line : expected) {
        if (const auto at = line.find("DEV"); at != std::string::npos) line.replace(at, 3, device);
        EXPECT_NE(text.find(line), std::string::npos) << line << "\nin\n" << text;
    }
    for (const char* absent : {"qmx_tank_level{" , "qmx_tank_temperature{"})
        EXPECT_EQ(text.find(std::string(absent) + device + ",tank=\"2\""), std::string::npos) << absent;
    EXPECT_EQ(text.find("qmx_tank_temperature{" + device + ",tank=\"3\""), std::string::npos);
    // Without an inventory, none of its families.
    for (const char* family : {"volume", "mass", "ullage", "fill", "deliver", "leak"})
        EXPECT_EQ(text.find(std::string("qmx_tank_") + family), std::string::npos) << family;
    // With one, the tanks of its file as their last readings left them.
    TTank tank{.Number = 1, .Product = TProduct::Jet, .Calibration = TCalibrationTable{{0, 0}, {3000, 30000}},
               .CapacityLitres = 30000, .Density = TDensityKind::At15, .Events = {}};
    TStationInventory inventory({tank});
    std::vector<TTankEvent> events;
    for (const auto& reading : Readings()) inventory.Take(reading, round.EndedAt, events);
    const std::string withInventory = MetricsText("d", Readings(), round, &inventory);
    EXPECT_NE(withInventory.find("qmx_tank_volume_litres{device=\"d\",tank=\"1\"} 15002.5\n"), std::string::npos)
        << withInventory;
    EXPECT_NE(withInventory.find("qmx_tank_deliveries_total{device=\"d\",tank=\"1\"} 0\n"), std::string::npos);
    EXPECT_EQ(withInventory.find("tank=\"2\"} 0\n", withInventory.find("qmx_tank_deliveries")), std::string::npos);
}

TEST(Metrics, PromtoolTakesTheFile) {
    ASSERT_EQ(std::system("promtool --version >/dev/null 2>&1"), 0)
        << "promtool is not installed (Debian package prometheus; scripts/setup installs it)";
    test::TWindowsDirectory dir;
    const fs::path file = dir.Path() / "qmx.prom";
    std::string problem;
    TRoundFigures round;
    round.LastValidAt = {{1, 1765190000.125}};
    // A device name that is not UTF-8 (Latin-1 bytes in a udev link).
    const std::string device = "/dev/serial/by-id/usb-J\xF6rg-if00";
    ASSERT_TRUE(ReplaceWholeFile(file.string(),
                                 MetricsText(device, Readings(), round) + InventoryText(device, Figures()), problem))
        << problem;
    const std::string command = "promtool check metrics < " + file.string() + " > " + (dir.Path() / "out").string() + " 2>&1";
    // Its one remark is on the mass's unit, kept in kilograms on purpose.
    const int status = std::system(command.c_str());
    const std::string out = Read(dir.Path() / "out");
    EXPECT_EQ(out, "qmx_tank_mass_kilograms use base unit \"grams\" instead of \"kilograms\"\n");
    EXPECT_TRUE(status == 0 || out.find("kilograms") != std::string::npos) << out;
    // And the checker is not one that takes anything.
    std::ofstream(file) << "qmx_tank_level{tank=1} x\n";
    EXPECT_NE(std::system(command.c_str()), 0);
}

TEST(Metrics, DoubtsPresenceTimesAndVersionAsMonitoringNeedsThem) {
    TRoundFigures round;
    round.EndedAt = 1765190000.25;
    round.DevicePresent = false;
    round.LastValidAt = {{1, 1765189990.5}, {3, 1765189000.125}};
    const std::string name = "/dev/tty\xC3\xBC\xFF\xC0\xAF\xED\xA0\x80";
    const std::string text = MetricsText(name, Readings(), round) + InventoryText(name, Figures());
    struct TCase {
        const char* Line;
        bool Present;
    };
    const TCase cases[] = {
        {"qmx_tank_doubtful{DEV,tank=\"1\"} 0\n", true},
        {"qmx_tank_doubtful{DEV,tank=\"4\"} 1\n", true},
        {"qmx_tank_valid{DEV,tank=\"4\"} 1\n", true},  // still the driver's verdict
        {"qmx_tank_doubt_info{DEV,tank=\"4\",doubt=\"other_tank\"} 1\n", true},
        {"qmx_tank_doubt_info{DEV,tank=\"4\",doubt=\"level_not_number\"} 1\n", true},
        {"qmx_tank_doubt_info{DEV,tank=\"1\"", false},
        {"qmx_tank_last_valid_timestamp_seconds{DEV,tank=\"1\"} 1765189990.500\n", true},
        {"qmx_tank_last_valid_timestamp_seconds{DEV,tank=\"3\"} 1765189000.125\n", true},
        {"qmx_tank_last_valid_timestamp_seconds{DEV,tank=\"2\"}", false},  // none yet
        {"qmx_round_end_time_seconds{DEV} 1765190000.250\n", true},
        {"qmx_device_present{DEV} 0\n", true},
        {"qmx_read_build_info{DEV,version=\"" QMX_VERSION "\"} 1\n", true},
        {"qmx_tank_volume_litres{DEV,tank=\"1\"} 23456.5\n", true},
        {"qmx_tank_volume15_litres{DEV,tank=\"1\"} 23301.25\n", true},
        {"qmx_tank_mass_kilograms{DEV,tank=\"1\"} 19456.25\n", true},
        {"qmx_tank_ullage_litres{DEV,tank=\"1\"} 1543.5\n", true},
        {"qmx_tank_fill_ratio{DEV,tank=\"1\"} 0.9375\n", true},
        {"qmx_tank_volume_litres{DEV,tank=\"3\"} 5000\n", true},
        {"qmx_tank_volume15_litres{DEV,tank=\"3\"}", false},
        {"qmx_tank_fill_ratio{DEV,tank=\"3\"}", false},
        {"qmx_tank_volume_litres{DEV,tank=\"2\"}", false},
        {"qmx_tank_mass_kilograms{DEV,tank=\"2\"}", false},
        {"qmx_tank_deliveries_total{DEV,tank=\"1\"} 2\n", true},
        {"qmx_tank_deliveries_total{DEV,tank=\"2\"} 0\n", true},
        {"# TYPE qmx_tank_deliveries_total counter\n", true},
        {"qmx_tank_last_delivery_volume15_litres{DEV,tank=\"1\"} 8012.5\n", true},
        {"qmx_tank_last_delivery_volume15_litres{DEV,tank=\"3\"}", false},
        {"qmx_tank_leak_rate_litres_per_hour{DEV,tank=\"1\"} 0.62\n", true},
        {"qmx_tank_leak_test_passed{DEV,tank=\"1\"} 0\n", true},
        {"qmx_tank_leak_test_passed{DEV,tank=\"3\"} 1\n", true},
        {"qmx_tank_leak_test_passed{DEV,tank=\"2\"}", false},
    };
    // The two-byte u-umlaut stays; the rest are not UTF-8 (a lone 0xFF, an
    // overlong slash, a surrogate) and come as \xHH, the backslash escaped.
    const std::string device = "device=\"/dev/tty\xC3\xBC\\\\xFF\\\\xC0\\\\xAF\\\\xED\\\\xA0\\\\x80\"";
    for (const auto& c : cases) {
        std::string line = c.Line;
        if (const auto at = line.find("DEV"); at != std::string::npos) line.replace(at, 3, device);
        EXPECT_EQ(text.find(line) != std::string::npos, c.Present) << line << "\nin\n" << text;
    }
}

// The service's name is a label of every sample, right after the device's,
// in whatever the reader writes or serves; the same text without it is the
// text without --instance, byte for byte.
TEST(Metrics, AnInstanceLabelsEverySampleAndChangesNothingElse) {
    TRoundFigures round;
    round.EndedAt = 1765190000.25;
    round.LastValidAt = {{1, 1765189990.5}};
    struct TCase {
        const char* Name;
        std::string (*Text)(const TLineLabels& line, const TRoundFigures& round);
    };
    const TCase cases[] = {
        {"file", [](const TLineLabels& line, const TRoundFigures& r) { return MetricsText(line, Readings(), r); }},
        {"inventory", [](const TLineLabels& line, const TRoundFigures&) { return InventoryText(line, Figures()); }},
        {"scrape", [](const TLineLabels& line, const TRoundFigures& r) { return ScrapeText(line, Readings(), r); }},
        {"first scrape",
         [](const TLineLabels& line, const TRoundFigures&) { return ScrapeTextBeforeFirstRound(line); }},
        {"monitor", [](const TLineLabels& line, const TRoundFigures& r) {
             return MonitorMetricsText(line, 7, r.EndedAt, {{1, TMonitorRow{}}});
         }},
    };
    const std::string device = "device=\"/dev/serial/by-id/usb-FTDI-if00-port0\"";
    for (const auto& c : cases) {
        const std::string plain = c.Text({"/dev/serial/by-id/usb-FTDI-if00-port0", ""}, round);
        std::string named = c.Text({"/dev/serial/by-id/usb-FTDI-if00-port0", "tank-farm"}, round);
        std::size_t samples = 0;
        std::istringstream lines(named);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind('#', 0) == 0) continue;
            ++samples;
            EXPECT_NE(line.find("{" + device + ",instance=\"tank-farm\""), std::string::npos)
                << c.Name << ": " << line;
        }
        EXPECT_GT(samples, 0u) << c.Name;
        const std::string label = ",instance=\"tank-farm\"";
        for (auto at = named.find(label); at != std::string::npos; at = named.find(label, at))
            named.erase(at, label.size());
        EXPECT_EQ(named, plain) << c.Name;
    }
}

// What the station guide shows an administrator to copy is what is shipped and tested.
TEST(AlertRules, TheStationGuideShowsTheShippedRules) {
    const std::string rules = Read(fs::path(QMX_SOURCE_DIR) / "packaging" / "qmx-read-alerts.yml");
    ASSERT_NE(rules.find("qmx_tank_doubtful"), std::string::npos) << rules;
    std::string indented;
    std::istringstream lines(rules);
    for (std::string line; std::getline(lines, line);) indented += (line.empty() ? "" : "    ") + line + "\n";
    EXPECT_NE(Read(fs::path(QMX_SOURCE_DIR) / "docs" / "station.md").find(indented), std::string::npos)
        << "docs/station.md does not show, indented, the rules of packaging/qmx-read-alerts.yml";
}

// An alert's runbook_url leads to a heading of the installed guide's Runbook
// (an anchor as Markdown renderers make it), and its severity routes it.
TEST(AlertRules, EachAlertHasASeverityAndARunbookEntry) {
    const std::string prefix = "/usr/share/doc/quelmarox-tools/station.md#";
    std::istringstream rules(Read(fs::path(QMX_SOURCE_DIR) / "packaging" / "qmx-read-alerts.yml"));
    std::map<std::string, std::pair<std::string, std::string>> alerts;  // name: severity, runbook_url
    std::string name;
    const auto after = [](const std::string& line, const std::string& key) {
        const auto at = line.find(key);
        return at == std::string::npos ? std::string() : line.substr(at + key.size());
    };
    for (std::string line; std::getline(rules, line);) {
        if (const auto alert = after(line, "- alert: "); !alert.empty()) name = alert;
        if (name.empty()) continue;  // the file's opening comment names the keys too
        if (const auto severity = after(line, "severity: "); !severity.empty()) alerts[name].first = severity;
        if (const auto url = after(line, "runbook_url: \""); !url.empty())
            alerts[name].second = url.substr(0, url.size() - 1);  // without its closing quote
    }
    std::set<std::string> anchors;
    std::istringstream guide(Read(fs::path(QMX_SOURCE_DIR) / "docs" / "station.md"));
    bool runbook = false;
    for (std::string line; std::getline(guide, line);) {
        if (line.rfind("## ", 0) == 0) runbook = line == "## Runbook";
        if (!runbook || line.rfind("### ", 0) != 0) continue;
        std::string anchor;
        for (const unsigned char c : line.substr(4)) {
            if (std::isalnum(c) || c == '-' || c == '_') anchor += static_cast<char>(std::tolower(c));
            if (c == ' ') anchor += '-';
        }
        anchors.insert(anchor);
    }
    ASSERT_GE(alerts.size(), 14u);
    for (const auto& [alert, labels] : alerts) {
        EXPECT_TRUE(labels.first == "critical" || labels.first == "warning" || labels.first == "info") << alert;
        ASSERT_EQ(labels.second.rfind(prefix, 0), 0u) << alert << ": " << labels.second;
        EXPECT_EQ(anchors.count(labels.second.substr(prefix.size())), 1u) << alert << ": " << labels.second;
    }
    EXPECT_EQ(anchors.size(), alerts.size()) << "a Runbook entry for an alert that is not shipped";
}

// Every reason a tank's failure_info can carry is explained where people look.
TEST(Metrics, TheStationGuideNamesEveryFailureReason) {
    const std::string readme = Read(fs::path(QMX_SOURCE_DIR) / "docs" / "station.md");
    std::vector<std::string> reasons = {FailureReason(false, false, TAttemptVerdict::NoAnswer)};
    for (int v = 0; v <= static_cast<int>(TAttemptVerdict::OtherRequest); ++v)
        reasons.push_back(FailureReason(false, true, static_cast<TAttemptVerdict>(v)));
    for (const auto& reason : reasons) EXPECT_NE(readme.find("`" + reason + "`"), std::string::npos) << reason;
}

TEST(Utf8Text, WellFormedSequencesKeptAnythingElseEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"\xD0\x9A\xD0\xBE\xD0\xBC", "\xD0\x9A\xD0\xBE\xD0\xBC"},  // Cyrillic
        {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\xE2\x82\xAC \xF0\x9F\x98\x80"},  // three and four bytes
        {"a\xC9" "b", "a\\xC9b"},                 // CP1251 or Latin-1 byte
        {"\xC3", "\\xC3"},                          // cut short at the end
        {"\xC3(", "\\xC3("},                        // cut short before ASCII
        {"\xE0\x80\xAF", "\\xE0\\x80\\xAF"},          // overlong
        {"\xED\xB0\x80", "\\xED\\xB0\\x80"},          // a surrogate
        {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},  // past U+10FFFF
        {"\x80", "\\x80"},                          // a continuation alone
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(EscapeInvalidUtf8(in), out) << in;
}

TEST(AtomicFile, ReplacedWholeReadableAndNoTemporaryLeft) {
    test::TWindowsDirectory dir;
    const fs::path file = dir.Path() / "qmx.prom";
    std::string problem;
    ASSERT_TRUE(ReplaceWholeFile(file.string(), "first\n", problem)) << problem;
    ASSERT_TRUE(ReplaceWholeFile(file.string(), "second\n", problem)) << problem;
    EXPECT_EQ(Read(file), "second\n");
    EXPECT_EQ((fs::status(file).permissions() & fs::perms::others_read), fs::perms::others_read);
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 1u);
    EXPECT_FALSE(ReplaceWholeFile((dir.Path() / "no-such-dir" / "m.prom").string(), "x", problem));
    EXPECT_NE(problem.find("no-such-dir"), std::string::npos) << problem;
}

// What --metrics may name, found before the first request.
TEST(AtomicFile, WhatCanBeReplacedIsKnownBeforeAnythingIsWritten) {
    test::TWindowsDirectory dir;
    const fs::path d = dir.Path();
    fs::create_directory(d / "other");
    std::ofstream(d / "old.prom") << "old\n";
    ASSERT_EQ(::mkfifo((d / "fifo").c_str(), 0600), 0);
    fs::create_symlink(d / "other" / "qmx.prom", d / "to-absent");
    fs::create_symlink("fifo", d / "to-fifo");
    fs::create_symlink(d / "gone" / "qmx.prom", d / "to-gone");
    fs::create_symlink("loop-b", d / "loop-a");
    fs::create_symlink("loop-a", d / "loop-b");
    struct TCase {
        const char* Name;
        bool Replaceable;
        const char* Problem;
    };
    const TCase cases[] = {
        {"new.prom", true, ""},
        {"old.prom", true, ""},
        {"to-absent", true, ""},
        {"no-such/qmx.prom", false, "no such directory "},
        {"fifo", false, "it is a FIFO, not a file to replace"},
        {"other", false, "it is a directory"},
        {"to-fifo", false, "its target "},
        {"to-gone", false, "no such directory "},
        {"loop-a", false, "Too many levels of symbolic links"},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_EQ(CheckReplaceable((d / c.Name).string(), problem), c.Replaceable) << c.Name << ": " << problem;
        EXPECT_NE(problem.find(c.Problem), std::string::npos) << c.Name << ": " << problem;
    }
    std::string problem;
    EXPECT_FALSE(CheckReplaceable("/dev/null", problem));
    EXPECT_NE(problem.find("a device"), std::string::npos) << problem;
}

TEST(AtomicFile, ALinkIsFollowedAndTheFileItNamesReplacedInItsOwnDirectory) {
    test::TWindowsDirectory dir;
    fs::create_directory(dir.Path() / "data");
    fs::create_directory(dir.Path() / "textfile");
    std::ofstream(dir.Path() / "data" / "qmx.prom") << "old\n";
    const fs::path link = dir.Path() / "textfile" / "qmx.prom";
    fs::create_symlink("../data/qmx.prom", link);
    std::string problem;
    ASSERT_TRUE(ReplaceWholeFile(link.string(), "new\n", problem)) << problem;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link), "../data/qmx.prom");
    EXPECT_EQ(Read(dir.Path() / "data" / "qmx.prom"), "new\n");
    for (const char* sub : {"data", "textfile"}) {
        std::size_t entries = 0;
        for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.Path() / sub)) ++entries;
        EXPECT_EQ(entries, 1u) << "no temporary file left in " << sub;
    }
}

}  // namespace
}  // namespace qmx::tools
