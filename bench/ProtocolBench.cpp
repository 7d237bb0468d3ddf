// Costs of the control channel: one "ping" through decode, dispatch and encode, and the encoding of
// a preview-sized event (about 60 KB of Base64 JPEG), each written to /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include "core/support/JSONEncoding.h"
#include "helper/entry/HelperController.h"
#include "helper/protocol/Envelopes.h"

namespace {

using namespace halvex;

class NullOutput {
public:
    NullOutput() : descriptor_(::open("/dev/null", O_WRONLY | O_CLOEXEC)) {}
    ~NullOutput() { ::close(descriptor_); }
    int descriptor() const { return descriptor_; }

private:
    int descriptor_;
};

void PingRoundTrip(benchmark::State& state) {
    NullOutput sink;
    HelperEnvironment environment{
        std::make_shared<NativePermissions>(std::make_shared<FakeScreenAccessProbe>(DisplayAccess{})), "bench"};
    const auto controller = HelperController::create(ProtocolOutput::create(sink.descriptor()), environment);
    const std::string line = R"({"id":"1","command":"ping"})";
    for (auto _ : state) benchmark::DoNotOptimize(controller->handle(line));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PingRoundTrip);

void PreviewEventEncoding(benchmark::State& state) {
    std::string base64(60 * 1024, 'A');
    for (std::size_t i = 0; i < base64.size(); ++i) base64[i] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdef+/"[i % 34];
    const nlohmann::json preview{{"jpegBase64", base64}, {"width", 640}, {"height", 360},
                                 {"capturedAt", 1'765'365'648.123}, {"index", 42}};
    NullOutput sink;
    const auto output = ProtocolOutput::create(sink.descriptor());
    for (auto _ : state) output->write(toJSON(EventEnvelope{"capture-preview", preview}));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(base64.size()));
}
BENCHMARK(PreviewEventEncoding);

}  // namespace
