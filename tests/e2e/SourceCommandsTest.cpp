#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "core/imaging/JPEGCodec.h"
#include "core/sources/x11/X11PaintedWindow.h"
#include "tests/support/HelperLauncher.h"
#include "tests/support/XvfbServer.h"

namespace halvex {
namespace {

using namespace std::chrono_literals;
using testing::launchHelper;

std::vector<std::uint8_t> base64Decoded(const std::string& text) {
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<std::uint8_t> bytes;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : text) {
        if (c == '=') break;
        const auto value = alphabet.find(c);
        if (value == std::string::npos) return {};
        buffer = (buffer << 6) | static_cast<std::uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    return bytes;
}

class SourceCommands : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(xvfb.running());
        helper = launchHelper({}, {{"DISPLAY", xvfb.display()}});
        // The first listing connects the helper (and turns Composite redirection on) before the
        // test draws anything.
        ASSERT_EQ(request(R"({"id":"0","command":"listSources"})")["ok"], true);
        chart = x11::X11PaintedWindow::create(
            xvfb.display(), {.x = 10, .y = 20, .width = 640, .height = 360, .title = "  ES1! 5432.25 \u25B2 +0.45% ",
                             .instanceName = "tradingview", .className = "TradingView",
                             .processId = static_cast<std::uint32_t>(::getpid()), .colours = {0x00FF00}});
        ASSERT_TRUE(chart);
        id = std::to_string(chart->id());
    }
    void TearDown() override {
        if (!helper) return;
        helper->closeStdin();
        EXPECT_EQ(helper->wait(10s), 0);
    }
    nlohmann::json request(const std::string& line) {
        helper->writeStdin(line + "\n");
        const auto answer = helper->readStdoutLine(20s);
        if (!answer) return {};
        return nlohmann::json::parse(*answer);
    }
    nlohmann::json thumbnail(const std::string& payload) {
        return request(R"({"id":"t","command":"sourceThumbnail","payload":)" + payload + "}");
    }

    testing::XvfbServer xvfb{1280, 720};
    std::unique_ptr<testing::ChildProcess> helper;
    std::unique_ptr<x11::X11PaintedWindow> chart;
    std::string id;
};

TEST_F(SourceCommands, ListSourcesAnswersTheSortedListing) {
    const auto answer = request(R"({"id":"1","command":"listSources","payload":{"ignored":true}})");
    ASSERT_EQ(answer["ok"], true) << answer.dump();
    const auto& result = answer["result"];
    EXPECT_EQ(result["discovery"], "screencapturekit");
    EXPECT_EQ(result["screenPermission"], true);
    EXPECT_FALSE(result.contains("warning"));
    ASSERT_EQ(result["sources"].size(), 2u);
    const auto& screen = result["sources"][0];
    EXPECT_EQ(screen["type"], "screen");
    EXPECT_EQ(screen["width"], 1280);
    EXPECT_EQ(screen["appName"], "System");
    const auto& window = result["sources"][1];
    EXPECT_EQ(window, (nlohmann::json{{"id", "window:" + id},
                                      {"type", "window"},
                                      {"name", "ES1! 5432.25 \u25B2 +0.45%"},
                                      {"appName", "TradingView"},
                                      {"bundleId", "com.tradingview.tradingviewapp.desktop"},
                                      {"nativeId", chart->id()},
                                      {"x", 10},
                                      {"y", 20},
                                      {"width", 640},
                                      {"height", 360},
                                      {"displayId", screen["nativeId"]},
                                      {"isCapturable", true},
                                      {"isOnScreen", true},
                                      {"isActive", false},
                                      {"discovery", "screencapturekit"}}));
}

TEST_F(SourceCommands, SourceThumbnailAnswersADecodableJPEGOfTheWindow) {
    struct Case {
        std::string payload;
        std::string sourceId;
        int width;
        int height;
    };
    const Case cases[] = {
        {R"({"sourceType":"window","sourceId":")" + id + R"("})", "window:" + id, 480, 270},
        {R"({"sourceType":"window","sourceId":")" + id + R"(","maxWidth":63.5})", "window:" + id, 64, 64},
        {R"({"sourceType":"WINDOW","sourceId":"window:)" + id + R"(","maxWidth":320})", "WINDOW:window:" + id, 320, 180},
    };
    for (const auto& c : cases) {
        const auto answer = thumbnail(c.payload);
        ASSERT_EQ(answer["ok"], true) << answer.dump();
        EXPECT_EQ(answer["result"]["sourceId"], c.sourceId);
        const auto image = JPEGCodec::decode(base64Decoded(answer["result"]["jpegBase64"].get<std::string>()));
        ASSERT_TRUE(image) << c.payload;
        EXPECT_EQ(image->width(), c.width);
        EXPECT_EQ(image->height(), c.height);
        const std::uint8_t* middle = image->row(c.height / 2) + c.width / 2 * 4;
        EXPECT_NEAR(middle[1], 255, 16) << c.payload;
        EXPECT_NEAR(middle[2], 0, 16) << c.payload;
    }
}

TEST_F(SourceCommands, SourceThumbnailRefusesBadPayloadsWithTheProtocolsMessages) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"sourceId":"1"})", "Invalid payload: sourceType must be a non-empty string."},
        {R"({"sourceType":"","sourceId":"1"})", "Invalid payload: sourceType must be a non-empty string."},
        {R"({"sourceType":"window"})", "Invalid payload: sourceId must be a non-empty string."},
        {R"({"sourceType":"window","sourceId":")" + id + R"(","maxWidth":1920.5})",
         "Invalid payload: maxWidth must be between 64 and 1920."},
        {R"({"sourceType":"window","sourceId":")" + id + R"(","maxWidth":63.4})",
         "Invalid payload: maxWidth must be between 64 and 1920."},
        {R"({"sourceType":"window","sourceId":")" + id + R"(","maxWidth":"480"})",
         "Invalid payload: maxWidth must be a finite number."},
        {R"({"sourceType":"tab","sourceId":")" + id + R"("})", "Invalid payload: sourceType must be 'window' or 'screen'."},
        {R"({"sourceType":"window","sourceId":"window:abc","maxWidth":5000})",
         "Invalid payload: maxWidth must be between 64 and 1920."},
        {R"({"sourceType":"window","sourceId":"window:abc"})",
         "Capture source window:abc is no longer available. Refresh the source list and try again."},
        {R"({"sourceType":"window","sourceId":"77777"})",
         "Capture source 77777 is no longer available. Refresh the source list and try again."},
    };
    for (const auto& [payload, message] : cases) {
        const auto answer = thumbnail(payload);
        EXPECT_EQ(answer, (nlohmann::json{{"id", "t"}, {"ok", false}, {"error", message}, {"type", "response"}})) << payload;
    }
    // A window closed after listing is gone, not a crash.
    chart.reset();
    EXPECT_EQ(thumbnail(R"({"sourceType":"window","sourceId":")" + id + R"("})")["error"],
              "Capture source " + id + " is no longer available. Refresh the source list and try again.");
    EXPECT_EQ(request(R"({"id":"p","command":"ping"})")["ok"], true);
}

TEST(SourceCommandsWithoutDisplay, ListingFailsWithTheCouldNotEnumerateError) {
    auto helper = launchHelper({});
    helper->writeStdin("{\"id\":\"1\",\"command\":\"listSources\"}\n"
                       "{\"id\":\"2\",\"command\":\"sourceThumbnail\",\"payload\":{\"sourceType\":\"screen\",\"sourceId\":\"1\"}}\n");
    const auto listing = nlohmann::json::parse(helper->readStdoutLine(10s).value_or("{}"));
    EXPECT_EQ(listing["ok"], false);
    EXPECT_TRUE(listing["error"].get<std::string>().starts_with(
        "Capture source ScreenCaptureKit could not enumerate sources and CoreGraphics returned nothing. Screen "
        "Recording is denied for "))
        << listing.dump();
    const auto preview = nlohmann::json::parse(helper->readStdoutLine(10s).value_or("{}"));
    EXPECT_EQ(preview["error"], "No X display is set.");
    helper->closeStdin();
    EXPECT_EQ(helper->wait(10s), 0);
}

}  // namespace
}  // namespace halvex
