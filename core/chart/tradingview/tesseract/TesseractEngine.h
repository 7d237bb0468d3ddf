#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/chart/tradingview/TextRecognizer.h"
#include "core/chart/tradingview/tesseract/GreyImage.h"

namespace tesseract {
class TessBaseAPI;
}

namespace halvex::tesseract {

// What an engine is initialised with; engines are reusable only for the same configuration.
struct TesseractEngineConfiguration {
    std::string language = "eng";        // traineddata name, e.g. "eng" or "eng+deu"
    bool usesLanguageCorrection = false;  // loads the system and frequency dictionaries
    std::vector<std::string> customWords;

    bool operator==(const TesseractEngineConfiguration&) const = default;

    static TesseractEngineConfiguration forSettings(const TextRecognitionSettings& settings);
};

// One initialised Tesseract instance, reading single lines. Not thread-safe: a thread uses an
// engine only while it holds it from the pool.
class TesseractEngine {
public:
    struct LineText {
        std::string text;  // trimmed UTF-8
        double confidence = 0;  // 0…1
    };

    // Initialises Tesseract with the configuration (dictionaries off unless language correction is
    // asked for, custom words through a user-words file). Throws PlatformError when it cannot.
    explicit TesseractEngine(const TesseractEngineConfiguration& configuration);
    ~TesseractEngine();
    TesseractEngine(const TesseractEngine&) = delete;
    TesseractEngine& operator=(const TesseractEngine&) = delete;

    const TesseractEngineConfiguration& configuration() const { return configuration_; }

    // Recognises `image` (dark text on white, one line) in single-line mode. Throws PlatformError
    // when recognition fails.
    LineText recognizeLine(const GreyImage& image);

private:
    TesseractEngineConfiguration configuration_;
    std::unique_ptr<::tesseract::TessBaseAPI> api_;
};

// The process's idle engines. A thread takes one for the duration of a recognition and gives it
// back, so no engine is ever used by two threads at once and initialisation is paid once per
// concurrently running thread.
class TesseractEnginePool {
public:
    class Lease {
    public:
        Lease(TesseractEnginePool& pool, std::unique_ptr<TesseractEngine> engine) : pool_(pool), engine_(std::move(engine)) {}
        ~Lease() { pool_.giveBack(std::move(engine_)); }
        Lease(Lease&& other) noexcept : pool_(other.pool_), engine_(std::move(other.engine_)) {}
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        Lease& operator=(Lease&&) = delete;
        TesseractEngine& operator*() const { return *engine_; }
        TesseractEngine* operator->() const { return engine_.get(); }

    private:
        TesseractEnginePool& pool_;
        std::unique_ptr<TesseractEngine> engine_;
    };

    // The one pool of the process (never destroyed, so background warm-up may outlive main).
    static TesseractEnginePool& shared();

    // An idle engine with this configuration, or a new one (may throw PlatformError).
    Lease take(const TesseractEngineConfiguration& configuration);
    void giveBack(std::unique_ptr<TesseractEngine> engine);

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<TesseractEngine>> idle_;
};

}  // namespace halvex::tesseract
