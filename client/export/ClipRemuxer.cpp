#include "client/export/ClipRemuxer.h"

namespace halvex::client {

ClipRemuxResult FakeClipRemuxer::remux(const ClipPlan& plan, const std::string& outputPath) {
    plans.push_back(plan);
    outputPaths.push_back(outputPath);
    return scriptedResult;
}

}  // namespace halvex::client
