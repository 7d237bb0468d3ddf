#include "core/capture/ManifestStore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <regex>
#include <sstream>
#include <ostream>
#include <string>
#include <vector>

#include "core/capture/RollingSegmentIndex.h"
#include "core/support/JSONEncoding.h"
#include "core/support/PlatformError.h"
#include "tests/support/TemporaryDirectory.h"

namespace halvex {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::TemporaryDirectory;
using testing::readWholeFile;

struct FileNameCase {
    const char* name;
    std::string sessionId;
    std::string fileName;
};
void PrintTo(const FileNameCase& c, std::ostream* os) { *os << c.name; }

class ManifestFileNameTest : public ::testing::TestWithParam<FileNameCase> {};

TEST_P(ManifestFileNameTest, KeepsLettersMarksNumbersHyphensAndUnderscores) {
    EXPECT_EQ(ManifestStore::manifestFileName(GetParam().sessionId), GetParam().fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManifestFileNameTest,
    ::testing::Values(FileNameCase{"slashAndColon", "abc/12:3", "abc-12-3.json"},
                      FileNameCase{"empty", "", "trade.json"},
                      FileNameCase{"threeSpaces", "   ", "---.json"},
                      FileNameCase{"accentedLettersDigitsHyphensUnderscores", "Éléa-ñ_42ü", "Éléa-ñ_42ü.json"},
                      FileNameCase{"combiningMarkStays", "e\u0301t\u00e9", "e\u0301t\u00e9.json"},
                      FileNameCase{"otherScriptsAndDigits", "交易\u0663\u0664", "交易\u0663\u0664.json"},
                      FileNameCase{"dotsCannotClimbOut", "../etc", "---etc.json"},
                      FileNameCase{"emojiIsOneHyphen", "a\U0001F4C8b", "a-b.json"},
                      FileNameCase{"invalidUTF8BytesBecomeHyphens", std::string("a\xff\xfe" "b"), "a--b.json"},
                      FileNameCase{"punctuationAndSymbols", "t.1+$%", "t-1---.json"}),
    [](const auto& caseInfo) { return std::string(caseInfo.param.name); });

SegmentRecord segment(const std::string& directory, const std::string& id, double start, double end) {
    SegmentRecord record;
    record.id = id;
    record.path = directory + "/segments/capture-7/" + id + ".m4s";
    record.initializationPath = directory + "/segments/capture-7/init-001.mp4";
    record.startedAt = start;
    record.endedAt = end;
    record.durationSeconds = end - start;
    record.width = 1920;
    record.height = 1080;
    record.byteCount = 123456;
    return record;
}

// A store in a fresh output directory and an index with a trade to write.
class ManifestStoreTest : public ::testing::Test {
protected:
    ManifestStoreTest() : store(ManifestStore::create(output.path())), index(180) {}

    TradeManifest writeTrade(const std::string& id) {
        return store->write(index.trades.at(id), index.segmentsFor(id), index.effectivePreRoll(id).value_or(0),
                            index.hasGaps(id, segmentGapToleranceSeconds));
    }
    std::vector<std::string> directoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(store->directory())) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    TemporaryDirectory output;
    std::shared_ptr<ManifestStore> store;
    RollingSegmentIndex index;
};

TEST_F(ManifestStoreTest, CreatesTheManifestsDirectoryUnderTheOutputDirectory) {
    EXPECT_EQ(store->directory(), output.path() / "manifests");
    EXPECT_TRUE(fs::is_directory(store->directory()));
    EXPECT_EQ(store->manifestURL("abc/12:3"), output.path() / "manifests" / "abc-12-3.json");
    // Creating it again over the existing directory is fine.
    EXPECT_NO_THROW(ManifestStore::create(output.path()));
}

TEST_F(ManifestStoreTest, CreationFailsWhenTheOutputDirectoryIsAFile) {
    testing::writeWholeFile(output.file("plain"), "x");
    EXPECT_THROW(ManifestStore::create(output.path() / "plain"), PlatformError);
    EXPECT_THROW(ManifestStore::create(output.path() / "plain" / "deeper"), PlatformError);
}

TEST_F(ManifestStoreTest, WrittenManifestReadsBackToAnEqualRecord) {
    const std::string base = output.path().string();
    index.append(segment(base, "001-000001", 860, 870));
    index.append(segment(base, "001-000002", 870, 880.5));  // a gap of 0.5 s follows
    index.append(segment(base, "001-000003", 881, 890));
    index.markTrade("abc/12:3", 900, 60);
    index.endTrade("abc/12:3", 950, 20);

    const auto written = writeTrade("abc/12:3");
    EXPECT_EQ(written.manifestPath, (output.path() / "manifests" / "abc-12-3.json").string());
    EXPECT_EQ(written.status, TradeManifestStatus::postRoll);
    EXPECT_EQ(written.schemaVersion, 2);
    EXPECT_EQ(written.segments.size(), 3u);
    EXPECT_DOUBLE_EQ(written.effectivePreRollSeconds, 40);
    EXPECT_TRUE(written.hasGaps);
    EXPECT_EQ(written, store->manifest(index.trades.at("abc/12:3"), index.segmentsFor("abc/12:3"), 40, true));

    const std::string text = readWholeFile(written.manifestPath);
    EXPECT_EQ(tradeManifestFromJSON(json::parse(text)), written);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"abc-12-3.json"});  // no temporary left
}

// The keys of the objects at one indentation level, in the order they appear in the text.
std::vector<std::string> keysAtIndent(const std::string& text, std::size_t indent) {
    const std::regex keyLine("^" + std::string(indent, ' ') + "\"([A-Za-z]+)\":");
    std::vector<std::string> keys;
    std::istringstream lines(text);
    std::string line;
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, match, keyLine)) keys.push_back(match[1]);
    }
    return keys;
}

TEST_F(ManifestStoreTest, TextIsPrettyWithKeysInAlphabeticalOrderAndPlainSlashes) {
    const std::string base = output.path().string();
    index.append(segment(base, "001-000001", 890, 900));
    index.markTrade("t", 895, 5);
    index.endTrade("t", 896, 1);
    const auto written = writeTrade("t");
    const std::string text = readWholeFile(written.manifestPath);

    EXPECT_EQ(keysAtIndent(text, 2),
              (std::vector<std::string>{"effectivePreRollSeconds", "exitOccurredAt", "hasGaps", "manifestPath",
                                        "occurredAt", "retainFrom", "retainThrough", "schemaVersion", "segments",
                                        "sessionId", "status"}));
    EXPECT_EQ(keysAtIndent(text, 6),
              (std::vector<std::string>{"byteCount", "codec", "durationSeconds", "endedAt", "height", "id",
                                        "initializationPath", "path", "startedAt", "width"}));
    EXPECT_EQ(text.find("\\/"), std::string::npos);
    EXPECT_NE(text.find("\"path\": \"" + base + "/segments/capture-7/001-000001.m4s\""), std::string::npos);
    EXPECT_NE(text.find("\"manifestPath\": \"" + base + "/manifests/t.json\""), std::string::npos);
    EXPECT_NE(text.find("\"status\": \"ready\""), std::string::npos);
}

TEST_F(ManifestStoreTest, RewritesFollowTheTradeFromActiveToReady) {
    const std::string base = output.path().string();
    index.markTrade("t", 100, 10);
    auto written = writeTrade("t");
    json onDisk = json::parse(readWholeFile(written.manifestPath));
    EXPECT_EQ(onDisk.at("status"), "active");
    EXPECT_FALSE(onDisk.contains("exitOccurredAt"));
    EXPECT_FALSE(onDisk.contains("retainThrough"));
    // No overlapping media yet.
    EXPECT_EQ(onDisk.at("segments"), json::array());
    EXPECT_EQ(onDisk.at("effectivePreRollSeconds"), 0);
    EXPECT_EQ(onDisk.at("hasGaps"), false);

    index.append(segment(base, "001-000001", 95, 105));
    index.endTrade("t", 106, 4);
    written = writeTrade("t");
    EXPECT_EQ(json::parse(readWholeFile(written.manifestPath)).at("status"), "post-roll");

    ASSERT_EQ(index.append(segment(base, "001-000002", 105, 115)).completedSessionIDs, std::vector<std::string>{"t"});
    written = writeTrade("t");
    onDisk = json::parse(readWholeFile(written.manifestPath));
    EXPECT_EQ(onDisk.at("status"), "ready");
    EXPECT_EQ(onDisk.at("retainThrough"), 110);
    EXPECT_EQ(onDisk.at("segments").size(), 2u);
    EXPECT_EQ(tradeManifestFromJSON(onDisk), written);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"t.json"});
}

TEST_F(ManifestStoreTest, IdsMappingToOneNameShareTheFileAndTheLaterWriteWins) {
    index.markTrade("a/b", 100, 0);
    index.markTrade("a:b", 200, 0);
    writeTrade("a/b");
    const auto later = writeTrade("a:b");
    EXPECT_EQ(tradeManifestFromJSON(json::parse(readWholeFile(later.manifestPath))).sessionId, "a:b");
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"a-b.json"});
}

TEST_F(ManifestStoreTest, ANonFiniteTimeIsRefusedBeforeTheFileIsTouched) {
    index.markTrade("t", 100, 0);
    const auto previous = writeTrade("t");
    const std::string before = readWholeFile(previous.manifestPath);
    auto retention = index.trades.at("t");
    retention.retainThrough = std::numeric_limits<double>::infinity();
    EXPECT_THROW(store->write(retention, {}, 0, false), JSONEncodingError);
    EXPECT_EQ(readWholeFile(previous.manifestPath), before);
}

// Tests run as root in CI, and root ignores permission bits, so the failures below come from
// limits and file types that bind root as well.

// A directory where the manifest should go: the final rename cannot replace it, for any user.
TEST_F(ManifestStoreTest, AWriteOverADirectoryFailsAndLeavesEverythingElseIntact) {
    index.markTrade("other", 100, 0);
    index.markTrade("blocked", 100, 0);
    const auto other = writeTrade("other");
    const std::string otherText = readWholeFile(other.manifestPath);
    fs::create_directory(store->manifestURL("blocked"));
    testing::writeWholeFile((store->manifestURL("blocked") / "keep").string(), "k");

    try {
        writeTrade("blocked");
        FAIL() << "the write over a directory succeeded";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.domain(), "POSIX");
        EXPECT_NE(error.code(), 0);
    }
    EXPECT_TRUE(fs::is_directory(store->manifestURL("blocked")));
    EXPECT_EQ(readWholeFile((store->manifestURL("blocked") / "keep").string()), "k");
    EXPECT_EQ(readWholeFile(other.manifestPath), otherText);
    EXPECT_EQ(directoryEntries(), (std::vector<std::string>{"blocked.json", "other.json"}));
}

// The file-size limit holds for root too: the temporary file cannot grow past it, the write fails
// part-way with EFBIG, and the manifest already on disk must come through unchanged. The write runs
// in a forked child so the limit cannot leak into other tests; "fast" forks without re-running the
// test, so the child writes into this test's directory.
TEST_F(ManifestStoreTest, AWriteThatFailsPartWayLeavesThePreviousManifestIntact) {
    GTEST_FLAG_SET(death_test_style, "fast");
    const std::string base = output.path().string();
    index.markTrade("t", 100, 10);
    const auto previous = writeTrade("t");
    const std::string before = readWholeFile(previous.manifestPath);
    for (int i = 1; i <= 20; ++i) index.append(segment(base, "001-0000" + std::to_string(10 + i), 90.0 + i, 91.0 + i));
    const auto grown = store->manifest(index.trades.at("t"), index.segmentsFor("t"), 10, false);
    ASSERT_GT(halvexEncodePretty(toJSON(grown)).size(), before.size() + 4096);

    const auto failingWrite = [&] {
        std::signal(SIGXFSZ, SIG_IGN);  // report EFBIG instead of killing the process
        const rlimit limit{static_cast<rlim_t>(before.size() + 1024), static_cast<rlim_t>(before.size() + 1024)};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) std::exit(3);
        try {
            writeTrade("t");
        } catch (const PlatformError& error) {
            std::exit(error.code() == EFBIG ? 0 : 4);
        }
        std::exit(5);  // the write went through despite the limit
    };
    EXPECT_EXIT(failingWrite(), ::testing::ExitedWithCode(0), "");

    EXPECT_EQ(readWholeFile(previous.manifestPath), before);
    EXPECT_EQ(tradeManifestFromJSON(json::parse(readWholeFile(previous.manifestPath))), previous);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"t.json"});  // the temporary was removed
}

}  // namespace
}  // namespace halvex
