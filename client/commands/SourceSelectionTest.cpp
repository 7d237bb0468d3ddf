#include <gtest/gtest.h>

#include "client/commands/RecordingSession.h"
#include "client/commands/SourceSelection.h"
#include "helper/protocol/HelperRequest.h"

namespace halvex::client {
namespace {

NativeCaptureSource source(const std::string& id, const std::string& name, const std::string& app) {
    NativeCaptureSource row;
    row.id = id;
    row.type = id.substr(0, id.find(':'));
    row.name = name;
    row.appName = app;
    return row;
}

TEST(SourceSelecting, ListedIdsScreensAndTitleMatches) {
    SourceCatalogListing listing;
    listing.sources = {source("screen:77", "HDMI-1", "System"), source("window:10", "ES1! 5432.25", "TradingView"),
                       source("window:11", "Notes", "Editor"), source("window:12", "Chart - TradingView", "Firefox")};
    struct Case {
        std::string text;
        SourceSelection expected;
    };
    const Case cases[] = {
        {"window:999", {"window", "999", ""}},  // taken as it is, even when not listed
        {"window:11", {"window", "11", "Notes"}},
        {"screen", {"screen", "77", "HDMI-1"}},
        {"notes", {"window", "11", "Notes"}},
        {"tradingview", {"window", "10", "ES1! 5432.25"}},  // the exact application name wins over a part of a title
        {"chart", {"window", "12", "Chart - TradingView"}},
    };
    for (const auto& c : cases) EXPECT_EQ(selectSource(c.text, listing), c.expected) << c.text;
    EXPECT_THROW(selectSource("absent", listing), std::runtime_error);
    try {
        selectSource("e", listing);  // in several names
        FAIL() << "an ambiguous text was accepted";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("window:11"), std::string::npos) << error.what();
    }
}

TEST(RequestEncoding, PayloadIsLeftOutWhenEmptyAndRoundTripsOtherwise) {
    HelperRequest request{"ctl-1", "ping", {}};
    EXPECT_EQ(toJSON(request), (nlohmann::json{{"id", "ctl-1"}, {"command", "ping"}}));
    request.command = "markTrade";
    request.payload.values["sessionId"] = "T1";
    request.payload.values["preRollSeconds"] = 2.5;
    EXPECT_EQ(HelperRequest::decode(toJSON(request).dump()), request);
}

TEST(StatusLineFormatting, ShowsTheCountersAndTheOpenTrade) {
    CaptureStatus status;
    status.phase = "in-trade";
    status.measuredFps = 29.97;
    status.segmentCount = 12;
    status.retainedSeconds = 11.5;
    status.framesDropped = 3;
    status.restartCount = 1;
    EXPECT_EQ(formatStatusLine(status, 3725.4, std::string("T1")),
              "in-trade  01:02:05   30.0 fps  12 segments  11.5 s retained  3 dropped  1 restarts  trade T1");
}

}  // namespace
}  // namespace halvex::client
