#include "core/chart/tradingview/tesseract/TesseractEngine.h"

#include <tesseract/baseapi.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/support/NativeLog.h"
#include "core/support/PlatformError.h"

namespace halvex::tesseract {

namespace {

constexpr const char* kDomain = "Tesseract";
constexpr std::size_t kMaximumIdleEngines = 8;

// BCP-47 language of a request → traineddata name.
constexpr std::array<std::pair<const char*, const char*>, 8> kLanguages{{
    {"en", "eng"}, {"de", "deu"}, {"fr", "fra"}, {"es", "spa"},
    {"it", "ita"}, {"pt", "por"}, {"nl", "nld"}, {"ja", "jpn"},
}};

std::string trimmed(const std::string& text) {
    const auto isSpace = [](unsigned char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isSpace(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isSpace(static_cast<unsigned char>(text[end - 1]))) --end;
    return text.substr(begin, end - begin);
}

// Writes the words to a private temporary file for Tesseract to read during initialisation.
std::string writeUserWordsFile(const std::vector<std::string>& words) {
    std::string pattern = (std::filesystem::temp_directory_path() / "halvex-ocr-words-XXXXXX").string();
    const int descriptor = mkstemp(pattern.data());
    if (descriptor < 0) throw PlatformError::posix(errno, "Creating the OCR custom words file");
    std::string contents;
    for (const std::string& word : words) contents += word + "\n";
    const bool written = ::write(descriptor, contents.data(), contents.size()) == static_cast<ssize_t>(contents.size());
    ::close(descriptor);
    if (!written) {
        std::filesystem::remove(pattern);
        throw PlatformError("Tesseract", 2, "The OCR custom words file could not be written.");
    }
    return pattern;
}

}  // namespace

TesseractEngineConfiguration TesseractEngineConfiguration::forSettings(const TextRecognitionSettings& settings) {
    TesseractEngineConfiguration configuration;
    std::vector<std::string> names;
    for (const std::string& tag : settings.languages) {
        const std::string primary = tag.substr(0, tag.find_first_of("-_"));
        for (const auto& [code, name] : kLanguages) {
            if (primary == code && std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
        }
    }
    if (!names.empty()) {
        configuration.language.clear();
        for (const std::string& name : names) configuration.language += (configuration.language.empty() ? "" : "+") + name;
    }
    configuration.usesLanguageCorrection = settings.usesLanguageCorrection;
    configuration.customWords = settings.customWords;
    return configuration;
}

TesseractEngine::TesseractEngine(const TesseractEngineConfiguration& configuration)
    : configuration_(configuration), api_(std::make_unique<::tesseract::TessBaseAPI>()) {
    std::vector<std::string> names;
    std::vector<std::string> values;
    if (!configuration.usesLanguageCorrection) {
        // Dictionaries would "correct" prices and symbols into words.
        names = {"load_system_dawg", "load_freq_dawg"};
        values = {"0", "0"};
    }
    std::string wordsFile;
    if (!configuration.customWords.empty()) {
        wordsFile = writeUserWordsFile(configuration.customWords);
        names.emplace_back("user_words_file");
        values.push_back(wordsFile);
    }
    std::vector<std::string> nameStorage = names;
    std::vector<std::string> valueStorage = values;
    const int status = api_->Init(nullptr, configuration.language.c_str(), ::tesseract::OEM_LSTM_ONLY, nullptr, 0,
                                  &nameStorage, &valueStorage, false);
    if (!wordsFile.empty()) std::filesystem::remove(wordsFile);
    if (status != 0) {
        throw PlatformError(kDomain, status, "Tesseract could not be initialised for language \"" + configuration.language + "\".")
            .withRecovery("Install the tesseract-ocr language data (tesseract-ocr-eng).");
    }
    api_->SetPageSegMode(::tesseract::PSM_SINGLE_LINE);
    // Lines arrive already normalised to dark on light; a second, inverted pass would only cost.
    api_->SetVariable("tessedit_do_invert", "0");
    api_->SetVariable("debug_file", "/dev/null");
}

TesseractEngine::~TesseractEngine() {
    if (api_) api_->End();
}

TesseractEngine::LineText TesseractEngine::recognizeLine(const GreyImage& image) {
    if (image.width <= 0 || image.height <= 0) return {};
    api_->SetImage(image.pixels.data(), static_cast<int>(image.width), static_cast<int>(image.height), 1,
                   static_cast<int>(image.width));
    api_->SetSourceResolution(300);
    if (api_->Recognize(nullptr) != 0) {
        api_->Clear();
        throw PlatformError(kDomain, 3, "Tesseract could not recognise a text line.");
    }
    LineText line;
    if (char* text = api_->GetUTF8Text()) {
        line.text = trimmed(text);
        delete[] text;
    }
    line.confidence = std::clamp(api_->MeanTextConf() / 100.0, 0.0, 1.0);
    api_->Clear();
    return line;
}

TesseractEnginePool& TesseractEnginePool::shared() {
    static auto* pool = new TesseractEnginePool();
    return *pool;
}

TesseractEnginePool::Lease TesseractEnginePool::take(const TesseractEngineConfiguration& configuration) {
    {
        std::lock_guard lock(mutex_);
        for (auto it = idle_.begin(); it != idle_.end(); ++it) {
            if ((*it)->configuration() == configuration) {
                std::unique_ptr<TesseractEngine> engine = std::move(*it);
                idle_.erase(it);
                return Lease(*this, std::move(engine));
            }
        }
    }
    return Lease(*this, std::make_unique<TesseractEngine>(configuration));
}

void TesseractEnginePool::giveBack(std::unique_ptr<TesseractEngine> engine) {
    if (!engine) return;
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(engine));
    // Keep the most recently used engines; rarely used configurations make way.
    if (idle_.size() > kMaximumIdleEngines) idle_.erase(idle_.begin());
}

}  // namespace halvex::tesseract
