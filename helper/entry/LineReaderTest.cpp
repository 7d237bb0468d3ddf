#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "helper/entry/LineReader.h"

namespace halvex {
namespace {

// Writes `chunks` into a pipe one write at a time, then closes it, and reads every line back.
std::vector<std::string> linesOf(const std::vector<std::string>& chunks, LineReader::Decoding decoding) {
    int channel[2];
    EXPECT_EQ(::pipe(channel), 0);
    std::thread writer([&] {
        for (const auto& chunk : chunks) {
            EXPECT_EQ(::write(channel[1], chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ::close(channel[1]);
    });
    const auto reader = LineReader::create(channel[0], decoding);
    std::vector<std::string> lines;
    while (const auto line = reader->nextLine()) lines.push_back(*line);
    writer.join();
    ::close(channel[0]);
    return lines;
}

using Lines = std::vector<std::string>;

TEST(LineReader, AssemblesSplitWritesAndSplitsJoinedOnes) {
    for (const auto decoding : {LineReader::Decoding::socket, LineReader::Decoding::standardInput}) {
        EXPECT_EQ(linesOf({"{\"id\":", "\"1\"}\n"}, decoding), (Lines{"{\"id\":\"1\"}"}));
        EXPECT_EQ(linesOf({"a\nb\n", "c\n"}, decoding), (Lines{"a", "b", "c"}));
        EXPECT_EQ(linesOf({"a\n\nb"}, decoding), (Lines{"a", "", "b"}));
        EXPECT_EQ(linesOf({}, decoding), Lines{});
        const std::string longLine(100'000, 'x');
        EXPECT_EQ(linesOf({longLine.substr(0, 40'000), longLine.substr(40'000) + "\n"}, decoding), (Lines{longLine}));
    }
}

TEST(LineReader, SocketAndStandardInputTreatBadBytesAndCarriageReturnsDifferently) {
    EXPECT_EQ(linesOf({"bad\xff\nok\r\n"}, LineReader::Decoding::socket), (Lines{"", "ok\r"}));
    EXPECT_EQ(linesOf({"bad\xff\nok\r\n"}, LineReader::Decoding::standardInput), (Lines{"bad\xEF\xBF\xBD", "ok"}));
    // An undecodable last line without a line feed gives nothing on the socket.
    EXPECT_EQ(linesOf({"a\n\xff"}, LineReader::Decoding::socket), (Lines{"a"}));
}

}  // namespace
}  // namespace halvex
