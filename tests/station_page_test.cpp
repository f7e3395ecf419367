// The station's live page in a real browser: qmx-read reads the sample
// station on a pty and serves on loopback; headless Chromium loads / and
// runs its script, and the page it made must show what /tanks.json holds,
// card by card, number by number (to the decimals shown). Its screenshot
// goes to docs/station-page.png when QMX_REFRESH_DOCS=1, compressed by
// pngquant; other runs leave the guide alone.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gauge.h"
#include "sim_server.h"
#include "station_config.h"
#include "support/http_client.h"
#include "support/pty_pair.h"
#include "support/reader_process.h"
#include "support/temp_dir.h"

namespace qmx::tools {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr int kWidth = 860, kHeight = 510;  // the screenshot: three cards in a row

// Each card's data-key texts, its link's, and whether it says there is no
// tank file, by tank.
struct TCard {
    std::map<std::string, std::string> Values;
    std::string Link;
    bool NoTankFile = false;
};

std::map<int, TCard> CardsOf(const std::string& dom) {
    static const std::regex value("data-key=\"(\\w+)\"[^>]*>([^<]*)<"), link("class=\"link \\w+\">([^<]*)<");
    std::map<int, TCard> cards;
    const std::string opening = "<section class=\"tank\" data-tank=\"";
    for (auto at = dom.find(opening); at != std::string::npos; at = dom.find(opening, at + 1)) {
        const std::string card = dom.substr(at, dom.find("</section>", at) - at);
        TCard& shown = cards[std::atoi(card.c_str() + opening.size())];
        for (std::sregex_iterator i(card.begin(), card.end(), value), end; i != end; ++i)
            shown.Values[(*i)[1]] = (*i)[2];
        if (std::smatch found; std::regex_search(card, found, link)) shown.Link = found[1];
        shown.NoTankFile = card.find("No tank file is given") != std::string::npos;
    }
    return cards;
}

// What a card shows for `key` must be within half its last digit of what
// the JSON holds (fill in percent, an event by its main number), or no
// number at all where the JSON has none.
void ExpectShown(const json& tank, const std::string& key, std::string text) {
    static const std::map<std::string, std::string> eventNumber{{"last_delivery", "delivered15_l"},
                                                                {"leak_test", "loss_l_per_h"}};
    json value = tank.value(key, json());
    if (eventNumber.count(key) && !value.is_null()) value = value[eventNumber.at(key)];
    // The page's thin spaces between thousands, in UTF-8.
    for (std::size_t thin; (thin = text.find("\xE2\x80\xAF")) != std::string::npos;) text.erase(thin, 3);
    std::smatch number;
    const bool shown = std::regex_search(text, number, std::regex("-?\\d+(\\.(\\d+))?"));
    const std::string where = "tank " + tank["tank"].dump() + " " + key + ": " + text;
    ASSERT_EQ(shown, !value.is_null()) << where << " for " << value;
    if (!shown) return;
    const double expected = value.get<double>() * (key == "fill" ? 100 : 1);
    const double halfDigit = 0.5 * std::pow(10.0, -static_cast<int>(number[2].length()));
    EXPECT_NEAR(std::stod(number[0]), expected, halfDigit + 1e-9) << where;
}

// What Chromium wrote doing `what` with the page at `url`.
std::string Chromium(const test::TWindowsDirectory& dir, const std::string& url, const std::string& what) {
    dir.Write("out", "");
    // No sandbox: tests run as root in a container, where Chromium's sandbox
    // cannot start (it refuses root; user namespaces may be off); the page is
    // our own, on loopback. The virtual time lets the page's script fetch
    // /tanks.json and draw the cards before the DOM or the screenshot is taken.
    test::TProgramProcess browser(
        "/usr/bin/chromium",
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking", "--hide-scrollbars",
         "--user-data-dir=" + (dir.Path() / "profile").string(), "--virtual-time-budget=3000",
         "--window-size=" + std::to_string(kWidth) + "," + std::to_string(kHeight), what, url},
        (dir.Path() / "out").string());
    EXPECT_EQ(browser.Wait(60s), 0) << browser.Errors();
    std::ifstream in(dir.Path() / "out", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The PNG's width and height, from its header; zeros when it is no PNG.
std::pair<unsigned, unsigned> PngSize(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[24] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (std::string(reinterpret_cast<char*>(head), 16) != std::string("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16))
        return {0, 0};
    const auto big = [&head](int at) {
        return unsigned{head[at]} << 24 | unsigned{head[at + 1]} << 16 | unsigned{head[at + 2]} << 8 | head[at + 3];
    };
    return {big(16), big(20)};
}

// The reader's first round, from /tanks.json; not an object when none
// came in 30 s.
json FirstRound(int port) {
    json station;
    const auto read = [&station] {
        return station.is_object() && station.contains("time") && !station["time"].is_null();
    };
    for (const auto until = std::chrono::steady_clock::now() + 30s; !read() && std::chrono::steady_clock::now() < until;
         std::this_thread::sleep_for(50ms))
        station = json::parse(test::Get("127.0.0.1", port, "/tanks.json").Body, nullptr, false);
    return read() ? station : json();
}

void ExpectCards(const std::map<int, TCard>& cards, const json& station) {
    ASSERT_EQ(cards.size(), station["tanks"].size()) << station;
    const bool tankFile = station["tank_file"];
    for (const json& tank : station["tanks"]) {
        ASSERT_TRUE(cards.count(tank["tank"].get<int>())) << tank;
        const TCard& card = cards.at(tank["tank"].get<int>());
        EXPECT_EQ(card.Values.size(), tankFile ? 12u : 3u) << tank;
        EXPECT_EQ(card.NoTankFile, !tankFile) << tank;
        for (const auto& [key, text] : card.Values) ExpectShown(tank, key, text);
        const std::string link = !tank["valid"]           ? "Link: no valid answer: " + tank.value("reason", "")
                                 : tank["doubts"].empty() ? "Link: valid"
                                                          : "Link: valid, doubtful: ";
        EXPECT_EQ(card.Link.rfind(link, 0), 0u) << card.Link << " for " << tank;
    }
}

TEST(StationPage, ABrowserShowsWhatTheTanksJsonHolds) {
    ASSERT_TRUE(std::filesystem::exists("/usr/bin/chromium")) << "chromium is not installed (scripts/setup tests)";
    struct TCase {
        const char* Name;
        const char* Tanks;
        std::vector<std::string> Options;  // the reader's, beyond reading and serving
        bool Docs;                         // the screenshot the station guide shows
    };
    const TCase cases[] = {
        {"no tank file", "1-5", {}, false},
        {"the sample tank file", "3-5", {"--inventory", QMX_SOURCE_DIR "/packaging/tanks.ini"}, true},
    };
    for (const auto& c : cases) {
        test::TPtyPair pty(9);
        sim::TGauge gauge;
        ASSERT_EQ(sim::LoadStationConfig(QMX_SOURCE_DIR "/packaging/station.ini", gauge), std::nullopt);
        gauge.SetFault(5, sim::TFault::BadCheck);
        sim::TSimServer server(gauge, pty.Master());
        // One round, then an hour's pause: the page and the test see the same.
        std::vector<std::string> options{"--device", pty.SlavePath(), "--tanks", c.Tanks, "--watch", "3600",
                                         "--fast",   "--quiet",       "--listen", "0"};
        options.insert(options.end(), c.Options.begin(), c.Options.end());
        test::TExportingReader reader(options);
        const int port = reader.Port("127.0.0.1");
        ASSERT_NE(port, 0) << c.Name << ": " << reader.Errors();
        const json station = FirstRound(port);
        ASSERT_TRUE(station.is_object()) << c.Name << ": no round in 30 s: " << reader.Errors();
        test::TWindowsDirectory dir;
        const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
        ExpectCards(CardsOf(Chromium(dir, url, "--dump-dom")), station);

        const auto shot = dir.Path() / "station-page.png";
        Chromium(dir, url, "--screenshot=" + shot.string());
        EXPECT_EQ(PngSize(shot), std::make_pair(unsigned{kWidth}, unsigned{kHeight})) << c.Name;
        const char* refresh = std::getenv("QMX_REFRESH_DOCS");
        if (!c.Docs || refresh == nullptr || std::string(refresh) != "1") continue;
        const std::string quantize =
            "pngquant --force --strip --output " QMX_SOURCE_DIR "/docs/station-page.png 32 -- " + shot.string();
        EXPECT_EQ(std::system(quantize.c_str()), 0) << quantize;
    }
}

}  // namespace
}  // namespace qmx::tools
