#include "kinetta/map/host_object.h"

#include <array>
#include <cmath>
#include <limits>

#include "kinetta/map/number_text.h"
#include "util/json_text.h"

namespace kinetta::map {

namespace {

constexpr std::array<std::string_view, HostWebViewObject::kMethodCount> kMethods = {
    "CallCallbackAsynchronously",
    "TestMethod",
    "JS2C_ConnectTest",
    "JS2C_GetMapURL",
    "JS2C_GetGPSData",
    "JS2C_GetGridData",
    "JS2C_GetRelJpgNum",
    "JS2C_OnClickCrashPoint",
    "JS2C_OnInitHtml",
    "JS2C_SetSend",
    "JS2C_OnRightClickCrashPoint"};

using Json = nlohmann::json;

// Arguments come from the page: their nesting is bounded before the parser
// (which recurses) sees them.
constexpr int kMaxArgsDepth = 16;

bool NestingWithin(std::string_view text, int limit) {
    int depth = 0;
    bool inString = false, escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return true;
}

// Argument coercions: a missing or mistyped argument reads as 0 or empty.
const Json& Arg(const Json& args, size_t i) {
    static const Json null;
    return i < args.size() ? args[i] : null;
}

double ArgReal(const Json& args, size_t i) {
    const Json& v = Arg(args, i);
    if (v.is_number()) {
        const double d = v.get<double>();
        return std::isfinite(d) ? d : 0;
    }
    if (v.is_boolean()) return v.get<bool>() ? 1 : 0;
    return 0;
}

int ArgInt(const Json& args, size_t i) {
    const double d = std::trunc(ArgReal(args, i));
    if (d >= double(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (d <= double(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(d);
}

std::string ArgText(const Json& args, size_t i) {
    const Json& v = Arg(args, i);
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number()) return RealText(ArgReal(args, i));
    if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
    return {};
}

std::string Answer(std::string_view resultJson) {
    std::string a = "{\"r\":";
    a += resultJson;
    a += '}';
    return a;
}

} // namespace

std::string_view HostWebViewObject::MethodName(int index) {
    return index >= 0 && index < kMethodCount ? kMethods[size_t(index)] : std::string_view();
}

int HostWebViewObject::MethodIndex(std::string_view name) {
    for (int i = 0; i < kMethodCount; ++i)
        if (kMethods[size_t(i)] == name) return i;
    return -1;
}

HostWebViewObject::HostWebViewObject(IHostWebViewFuncs* funcs, RunLater runLater,
                                     PageCallback pageCallback)
    : funcs_(funcs), runLater_(std::move(runLater)), pageCallback_(std::move(pageCallback)) {}

void HostWebViewObject::CallCallbackAsynchronously(int64_t callbackId) {
    if (!runLater_ || !pageCallback_) return;
    PageCallback call = pageCallback_;
    runLater_([call, callbackId] { call(callbackId); });
}

std::string HostWebViewObject::TestMethod(std::string_view stringParameter, int integerParameter) {
    std::string s = "TestMethod(";
    s += stringParameter;
    s += ", ";
    s += IntText(integerParameter);
    s += ") called.\n";
    return s;
}

int32_t HostWebViewObject::JS2C_ConnectTest() {
    return funcs_ ? funcs_->ConnectTest() : 0;
}

std::string HostWebViewObject::JS2C_GetMapURL() {
    return funcs_ ? funcs_->GetMapURL() : std::string();
}

TrackArray HostWebViewObject::JS2C_GetGPSData() {
    return funcs_ ? funcs_->GetGPSData() : TrackArray{};
}

TrackArray HostWebViewObject::JS2C_GetGridData(bool stringParameter) {
    return funcs_ ? funcs_->GetGridData(stringParameter ? "true" : "false") : TrackArray{};
}

std::string HostWebViewObject::JS2C_GetRelJpgNum() {
    return funcs_ ? funcs_->GetRelJpgNum() : std::string();
}

void HostWebViewObject::JS2C_OnClickCrashPoint(int ifile, int igrid, int ipos, int valid,
                                               double lat, double lng, double speed,
                                               double direction) {
    if (funcs_) funcs_->OnClickCrashPoint(ifile, igrid, ipos, valid, lat, lng, speed, direction);
}

void HostWebViewObject::JS2C_OnInitHtml() {
    if (funcs_) funcs_->OnInitHtml();
}

void HostWebViewObject::JS2C_SetSend() {
    if (funcs_) funcs_->SetSend();
}

void HostWebViewObject::JS2C_OnRightClickCrashPoint(int ifile, int igrid, int ipos, int icolor) {
    if (funcs_) funcs_->OnRightClickCrashPoint(ifile, igrid, ipos, icolor);
}

bool HostWebViewObject::Invoke(std::string_view method, std::string_view argsJson,
                               std::string* answer) {
    const int index = MethodIndex(method);
    if (index < 0) return false;
    if (argsJson.empty()) argsJson = "[]";
    if (!NestingWithin(argsJson, kMaxArgsDepth)) return false;
    const Json args = Json::parse(argsJson, nullptr, /*allow_exceptions=*/false);
    if (args.is_discarded() || !args.is_array()) return false;

    switch (index) {
    case 0:
        CallCallbackAsynchronously(static_cast<int64_t>(ArgReal(args, 0)));
        *answer = "{}";
        break;
    case 1:
        *answer = Answer(kutil::JsonQuote(TestMethod(ArgText(args, 0), ArgInt(args, 1))));
        break;
    case 2:
        *answer = Answer(IntText(JS2C_ConnectTest()));
        break;
    case 3:
        *answer = Answer(kutil::JsonQuote(JS2C_GetMapURL()));
        break;
    case 4:
        *answer = Answer(JS2C_GetGPSData().ToJson());
        break;
    case 5:
        *answer = Answer(JS2C_GetGridData(ArgReal(args, 0) != 0).ToJson());
        break;
    case 6:
        *answer = Answer(kutil::JsonQuote(JS2C_GetRelJpgNum()));
        break;
    case 7:
        JS2C_OnClickCrashPoint(ArgInt(args, 0), ArgInt(args, 1), ArgInt(args, 2), ArgInt(args, 3),
                               ArgReal(args, 4), ArgReal(args, 5), ArgReal(args, 6),
                               ArgReal(args, 7));
        *answer = "{}";
        break;
    case 8:
        JS2C_OnInitHtml();
        *answer = "{}";
        break;
    case 9:
        JS2C_SetSend();
        *answer = "{}";
        break;
    case 10:
        JS2C_OnRightClickCrashPoint(ArgInt(args, 0), ArgInt(args, 1), ArgInt(args, 2),
                                    ArgInt(args, 3));
        *answer = "{}";
        break;
    }
    return true;
}

} // namespace kinetta::map
