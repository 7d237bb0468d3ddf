#include <gtest/gtest.h>

#include <filesystem>

#include "client/export/ClipExporter.h"
#include "client/export/ClipPlan.h"
#include "core/support/JSONEncoding.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex::client {
namespace {

SegmentRecord segment(const std::string& id, double start, double end, const std::string& init = "/rec/init-001.mp4") {
    SegmentRecord record;
    record.id = id;
    record.path = "/rec/" + id + ".m4s";
    record.initializationPath = init;
    record.startedAt = start;
    record.endedAt = end;
    record.durationSeconds = end - start;
    record.width = 1280;
    record.height = 720;
    return record;
}

TradeManifest manifest(double from, std::optional<double> through, std::vector<SegmentRecord> segments) {
    TradeManifest trade;
    trade.sessionId = "T1";
    trade.occurredAt = from + 2;
    trade.retainFrom = from;
    trade.retainThrough = through;
    trade.exitOccurredAt = through ? std::optional<double>(*through - 1) : std::nullopt;
    trade.status = through ? TradeManifestStatus::ready : TradeManifestStatus::active;
    trade.manifestPath = "/rec/manifests/T1.json";
    trade.segments = std::move(segments);
    return trade;
}

std::vector<std::string> ids(const ClipPlan& plan) {
    std::vector<std::string> result;
    for (const auto& s : plan.segments) result.push_back(s.id);
    return result;
}

TEST(ClipPlanning, SelectsTheSegmentsInsideTheWindowAndClipsTheRangeToWhatWasRecorded) {
    struct Case {
        const char* what;
        double from;
        std::optional<double> through;
        std::vector<std::string> ids;
        double start, end;
        bool endsEarly;
    };
    // Segments of one second from 100 to 105.
    const std::vector<SegmentRecord> recorded{segment("001-000001", 100, 101), segment("001-000002", 101, 102),
                                              segment("001-000003", 102, 103), segment("001-000004", 103, 104),
                                              segment("001-000005", 104, 105)};
    const Case cases[] = {
        {"window inside the recording", 101.5, 103.25, {"001-000002", "001-000003", "001-000004"}, 101.5, 103.25, false},
        {"bounds on segment edges leave the touching neighbours out", 101, 103, {"001-000002", "001-000003"}, 101, 103, false},
        {"pre-roll reaching before the first segment starts at the recording", 90, 102.5,
         {"001-000001", "001-000002", "001-000003"}, 100, 102.5, false},
        {"an end after the last segment stops at the recording's end", 103.5, 110, {"001-000004", "001-000005"}, 103.5, 105, true},
        {"an open trade runs to the last segment", 102.2, std::nullopt, {"001-000003", "001-000004", "001-000005"}, 102.2, 105, true},
    };
    for (const auto& c : cases) {
        const auto plan = planClip(manifest(c.from, c.through, recorded));
        EXPECT_EQ(ids(plan), c.ids) << c.what;
        EXPECT_DOUBLE_EQ(plan.presentationStart, c.start) << c.what;
        EXPECT_DOUBLE_EQ(plan.presentationEnd, c.end) << c.what;
        EXPECT_EQ(plan.endsEarly, c.endsEarly) << c.what;
    }
}

TEST(ClipPlanning, OrdersByStartDropsRepeatsAndGroupsRunsByInitialization) {
    const auto plan = planClip(manifest(100, 104,
                                        {segment("002-000001", 102, 103, "/rec/init-002.mp4"), segment("001-000001", 100, 101),
                                         segment("001-000002", 101, 102), segment("001-000002", 101, 102),
                                         segment("002-000002", 103, 104, "/rec/init-002.mp4")}));
    EXPECT_EQ(ids(plan), (std::vector<std::string>{"001-000001", "001-000002", "002-000001", "002-000002"}));
    EXPECT_EQ(plan.initializationPaths(), (std::vector<std::string>{"/rec/init-001.mp4", "/rec/init-002.mp4"}));
    const auto runs = plan.runsByInitialization();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].size(), 2u);
    EXPECT_EQ(runs[1].front().id, "002-000001");
}

TEST(ClipPlanning, RefusesWhatCannotBecomeOneClip) {
    EXPECT_THROW(planClip(manifest(100, 104, {})), ClipExportError);
    // Segments only touching the window's start contribute nothing.
    EXPECT_THROW(planClip(manifest(101, 104, {segment("001-000001", 100, 101)})), ClipExportError);
    auto larger = segment("002-000001", 101, 102, "/rec/init-002.mp4");
    larger.width = 1920;
    larger.height = 1080;
    try {
        planClip(manifest(100, 102, {segment("001-000001", 100, 101), larger}));
        FAIL() << "different sizes were joined";
    } catch (const ClipExportError& error) {
        EXPECT_NE(std::string(error.what()).find("1920x1080"), std::string::npos) << error.what();
    }
}

TEST(ClipPlanning, NamesEveryMissingFileOnce) {
    const auto plan = planClip(manifest(100, 103, {segment("001-000001", 100, 101), segment("001-000002", 101, 102),
                                                   segment("001-000003", 102, 103)}));
    const auto missing = missingFiles(plan, [](const std::string& path) {
        return path != "/rec/001-000002.m4s" && path != "/rec/init-001.mp4";
    });
    EXPECT_EQ(missing, (std::vector<std::string>{"/rec/init-001.mp4", "/rec/001-000002.m4s"}));
    EXPECT_TRUE(missingFiles(plan, [](const std::string&) { return true; }).empty());
}

class ClipExporting : public ::testing::Test {
protected:
    // A manifest whose files exist in the temporary directory.
    std::string writeManifest() {
        const auto init = directory.file("init-001.mp4");
        testing::writeWholeFile(init, "init");
        std::vector<SegmentRecord> segments;
        for (int i = 1; i <= 3; ++i) {
            auto record = segment("001-00000" + std::to_string(i), 99 + i, 100 + i, init);
            record.path = directory.file(record.id + ".m4s");
            testing::writeWholeFile(record.path, "media");
            segments.push_back(record);
        }
        auto trade = manifest(100.5, 102.5, segments);
        trade.manifestPath = directory.file("T1.json");
        testing::writeWholeFile(trade.manifestPath, halvexEncodePretty(toJSON(trade)));
        return trade.manifestPath;
    }
    std::string exportError(const std::string& manifestPath) {
        try {
            exporter.exportClip(manifestPath, directory.file("clip.mp4"));
        } catch (const ClipExportError& error) {
            return error.what();
        }
        return "";
    }

    testing::TemporaryDirectory directory;
    std::shared_ptr<FakeClipRemuxer> remuxer = std::make_shared<FakeClipRemuxer>();
    ClipExporter exporter{remuxer};
};

TEST_F(ClipExporting, HandsThePlanOfACompleteManifestToTheRemuxer) {
    remuxer->scriptedResult = {2.0, 60, 1234};
    const auto result = exporter.exportClip(writeManifest(), directory.file("clip.mp4"));
    ASSERT_EQ(remuxer->plans.size(), 1u);
    EXPECT_EQ(remuxer->plans.front(), result.plan);
    EXPECT_EQ(ids(result.plan), (std::vector<std::string>{"001-000001", "001-000002", "001-000003"}));
    EXPECT_EQ(remuxer->outputPaths.front(), directory.file("clip.mp4"));
    EXPECT_EQ(result.written, remuxer->scriptedResult);
}

TEST_F(ClipExporting, ADeletedSegmentFailsNamingItAndNothingIsRemuxed) {
    const auto path = writeManifest();
    std::filesystem::remove(directory.file("001-000002.m4s"));
    const auto message = exportError(path);
    EXPECT_NE(message.find(directory.file("001-000002.m4s")), std::string::npos) << message;
    EXPECT_EQ(message.find("001-000001.m4s"), std::string::npos) << message;
    EXPECT_TRUE(remuxer->plans.empty());
}

TEST_F(ClipExporting, ManifestsThatAreNotJSONOrNotManifestsAreToldApart) {
    const auto notJSON = directory.file("notes.json");
    testing::writeWholeFile(notJSON, "segments: 3\n");
    const auto notManifest = directory.file("other.json");
    testing::writeWholeFile(notManifest, R"({"sessionId":"T1","segments":[]})");
    EXPECT_NE(exportError(notJSON).find("is not JSON"), std::string::npos) << exportError(notJSON);
    EXPECT_NE(exportError(notManifest).find("is JSON but not a trade manifest"), std::string::npos);
    EXPECT_NE(exportError(directory.file("absent.json")).find("Cannot read the manifest"), std::string::npos);
    EXPECT_TRUE(remuxer->plans.empty());
}

}  // namespace
}  // namespace halvex::client
