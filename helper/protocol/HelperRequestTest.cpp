#include <gtest/gtest.h>

#include "core/support/JSONEncoding.h"
#include "helper/protocol/Envelopes.h"
#include "helper/protocol/HelperRecords.h"
#include "helper/protocol/HelperRequest.h"

namespace halvex {
namespace {

TEST(HelperRequestDecoding, ValidRequests) {
    const auto plain = HelperRequest::decode(R"({"id":"1","command":"ping"})");
    EXPECT_EQ(plain, (HelperRequest{"1", "ping", {}}));
    EXPECT_EQ(HelperRequest::decode(R"({"id":"1","command":"ping","payload":null})"), plain);
    EXPECT_EQ(HelperRequest::decode(R"({"id":"1","command":"ping","extra":[1,2]})"), plain);

    const auto rich = HelperRequest::decode(
        R"({"id":"x","command":"c","payload":{"s":"t","n":3,"b":false,"o":{"k":null},"a":[1,"2"],"z":null}})");
    EXPECT_EQ(rich.payload.values.at("s"), JSONValue("t"));
    EXPECT_EQ(rich.payload.values.at("n"), JSONValue(3.0));
    EXPECT_EQ(rich.payload.values.at("b"), JSONValue(false));
    EXPECT_EQ(rich.payload.values.at("o"), JSONValue(JSONValue::Object{{"k", JSONValue(nullptr)}}));
    EXPECT_EQ(rich.payload.values.at("a"), JSONValue(JSONValue::Array{JSONValue(1.0), JSONValue("2")}));
    EXPECT_TRUE(rich.payload.values.at("z").isNull());
}

TEST(HelperRequestDecoding, MalformedLinesAndTheRecoveredId) {
    struct Case {
        const char* line;
        std::optional<std::string> recoveredId;
    };
    const Case cases[] = {
        {R"({"command":"ping"})", std::nullopt},
        {R"({"id":5,"command":"ping"})", std::nullopt},
        {R"({"id":"9","command":3})", "9"},
        {R"({"id":"9"})", "9"},
        {R"({"id":"9","command":"ping","payload":[1]})", "9"},
        {R"({"id":"9","command":"ping","payload":"x"})", "9"},
        {R"(["id","1"])", std::nullopt},
        {R"({"id":"1","command":"ping")", std::nullopt},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"null", std::nullopt},
    };
    for (const auto& item : cases) {
        EXPECT_THROW(HelperRequest::decode(item.line), RequestDecodingError) << item.line;
        EXPECT_EQ(recoverRequestID(item.line), item.recoveredId) << item.line;
    }
}

TEST(Envelopes, WireFormOfEveryShape) {
    EXPECT_EQ(halvexEncodeCompact(toJSON(SuccessEnvelope{"1", toJSON(PingResult{})})),
              R"({"id":"1","ok":true,"result":{"protocolVersion":2,"version":"0.3.0"},"type":"response"})");
    EXPECT_EQ(halvexEncodeCompact(toJSON(ErrorEnvelope{"43", "No capture session is running."})),
              R"({"error":"No capture session is running.","id":"43","ok":false,"type":"response"})");
    EXPECT_EQ(halvexEncodeCompact(toJSON(EventEnvelope{"protocol-error", toJSON(ProtocolErrorResult{"m"})})),
              R"({"event":"protocol-error","result":{"message":"m"},"type":"event"})");
    EXPECT_EQ(halvexEncodeCompact(toJSON(ThumbnailResult{"window:1", "AAAA"})),
              R"({"jpegBase64":"AAAA","sourceId":"window:1"})");
}

TEST(Envelopes, HelloAndIdentityKeysComeSorted) {
    HelperHello hello;
    hello.token = "t/1";
    hello.processId = 42;
    hello.bundlePath = "/opt/halvex";
    hello.responsible = ResponsibleProcess::Info{7, "Halvex", "com.halvex.desktop", false};
    EXPECT_EQ(halvexEncodeCompact(toJSON(EventEnvelope{"hello", toJSON(hello)})),
              R"({"event":"hello","result":{"bundleId":"","bundlePath":"/opt/halvex","launchMode":"launch-services",)"
              R"("processId":42,"protocolVersion":2,"responsibleBundleId":"com.halvex.desktop","responsibleIsSelf":false,)"
              R"("responsibleName":"Halvex","responsibleProcessId":7,"screenPermission":false,"token":"t/1",)"
              R"("version":"0.3.0"},"type":"event"})");
    HelperIdentityResult identity;
    identity.executablePath = "/opt/halvex/HalvexMacHelper";
    identity.processId = 42;
    EXPECT_EQ(halvexEncodeCompact(toJSON(identity)),
              R"({"accessibilityPermission":false,"bundleId":"","bundlePath":"","executablePath":"/opt/halvex/HalvexMacHelper",)"
              R"("processId":42,"protocolVersion":2,"screenPermission":false,"version":"0.3.0"})");
}

}  // namespace
}  // namespace halvex
