#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace halvex {

// How hard the recogniser tries: `accurate` is what the chart readers ask for; `fast` may trade
// accuracy for time.
enum class TextRecognitionLevel { accurate, fast };

std::string rawValue(TextRecognitionLevel level);
std::optional<TextRecognitionLevel> parseTextRecognitionLevel(const std::string& text);

// The settings of one recognition request.
struct TextRecognitionSettings {
    TextRecognitionLevel level = TextRecognitionLevel::accurate;
    std::vector<std::string> languages{"en-US"};  // BCP-47 tags, most preferred first
    std::vector<std::string> customWords;          // words the recogniser should prefer
    float minimumTextHeight = 0;                   // fraction of the image height; shorter lines are dropped
    bool usesLanguageCorrection = false;           // dictionary correction of the read text

    bool operator==(const TextRecognitionSettings&) const = default;

    // The chart readers' request: accurate, "en-US", the unit words, no language correction.
    static TextRecognitionSettings chartLabels(float minimumTextHeight);
};

// The unit words every chart reading request passes as custom words.
const std::vector<std::string>& chartLabelCustomWords();

enum class TextImageFormat {
    rgbx,  // 4 bytes per pixel: R, G, B, ignored
    grey,  // 1 byte per pixel
};

// A borrowed view of an image's pixels, rows from the top. The bytes must outlive the call that
// receives the view.
struct TextImage {
    const std::uint8_t* bytes = nullptr;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t bytesPerRow = 0;
    TextImageFormat format = TextImageFormat::rgbx;

    std::int64_t bytesPerPixel() const { return format == TextImageFormat::rgbx ? 4 : 1; }
    // True when the view is non-empty and its rows are long enough for its width.
    bool isUsable() const {
        return bytes != nullptr && width > 0 && height > 0 && bytesPerRow >= width * bytesPerPixel();
    }
};

// One recognised line: its top candidate's text, a 0…1 confidence, and its box normalised to the
// image (0…1, origin at the bottom left, y growing upward).
struct RecognizedTextLine {
    std::string text;
    double confidence = 0;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const RecognizedTextLine&) const = default;
};

// The platform's text recogniser. Implementations may be called from several threads at once.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // Recognises the text lines of `image` with `settings`, synchronously on the calling thread.
    // Returns the lines in reading order (top to bottom, then left to right); lines whose text is
    // empty or shorter than the minimum text height are not returned. Throws PlatformError when
    // the engine cannot run, and HalvexNativeError (invalid payload) for an unusable image view.
    virtual std::vector<RecognizedTextLine> recognize(const TextImage& image,
                                                      const TextRecognitionSettings& settings) = 0;

    // Starts initialising the engine in the background and returns at once. Only the first call
    // of a process does anything; its outcome only shows in the log.
    virtual void prewarm() = 0;
};

// A recogniser with scripted results, for tests and demos: each call takes the next scripted
// result (lines or a failure); when the script is empty it returns the default lines.
class FakeTextRecognizer : public TextRecognizer {
public:
    struct Call {
        std::int64_t width = 0;
        std::int64_t height = 0;
        TextImageFormat format = TextImageFormat::rgbx;
        TextRecognitionSettings settings;
    };

    void setDefaultLines(std::vector<RecognizedTextLine> lines);
    void scriptLines(std::vector<RecognizedTextLine> lines);
    void scriptFailure(std::string description);

    std::vector<RecognizedTextLine> recognize(const TextImage& image, const TextRecognitionSettings& settings) override;
    void prewarm() override;

    std::vector<Call> calls() const;
    std::int64_t prewarmCount() const;

private:
    struct Scripted {
        std::vector<RecognizedTextLine> lines;
        std::optional<std::string> failure;
    };

    mutable std::mutex mutex_;
    std::vector<RecognizedTextLine> defaultLines_;
    std::deque<Scripted> script_;
    std::vector<Call> calls_;
    std::int64_t prewarmCount_ = 0;
};

}  // namespace halvex
