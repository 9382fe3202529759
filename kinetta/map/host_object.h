#pragma once
// HostWebViewObject: the object the map page reaches as
// chrome.webview.hostObjects.sync.sample. Its ten methods, in interface
// order, and the eleventh that the event clips added after them (the ten
// keep their dispatch identifiers), forward to IHostWebViewFuncs; Invoke is the dispatch of one
// call as it arrives from the page (method name and a JSON array of arguments) and returns the JSON
// answer. Methods never fail towards the page: without IHostWebViewFuncs behind them they give
// default results. UI thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "kinetta/map/host_funcs.h"

namespace kinetta::map {

class HostWebViewObject {
public:
    // Queues a function to run later on the UI thread (the holder's run-later).
    using RunLater = std::function<void(std::function<void()>)>;
    // Calls the page's callback registered under an id (the holder runs it in
    // the page).
    using PageCallback = std::function<void(int64_t id)>;

    // Dispatch identifiers: the first method's, then one up per method.
    static constexpr int32_t kFirstDispId = 0x60010000;
    static constexpr int kMethodCount = 11;
    // Method names in interface order.
    static std::string_view MethodName(int index);
    // Index of a method name, -1 when unknown.
    static int MethodIndex(std::string_view name);

    HostWebViewObject(IHostWebViewFuncs* funcs, RunLater runLater, PageCallback pageCallback);

    void SetFuncs(IHostWebViewFuncs* funcs) { funcs_ = funcs; }

    // 0: queues one call of the page's callback (no arguments).
    void CallCallbackAsynchronously(int64_t callbackId);
    // 1: "TestMethod(" + text + ", " + integer + ") called.\n"
    std::string TestMethod(std::string_view stringParameter, int integerParameter);
    // 2
    int32_t JS2C_ConnectTest();
    // 3
    std::string JS2C_GetMapURL();
    // 4
    TrackArray JS2C_GetGPSData();
    // 5: the argument only becomes a boolean text that GetGridData ignores.
    TrackArray JS2C_GetGridData(bool stringParameter);
    // 6
    std::string JS2C_GetRelJpgNum();
    // 7
    void JS2C_OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat, double lng,
                                double speed, double direction);
    // 8
    void JS2C_OnInitHtml();
    // 9
    void JS2C_SetSend();
    // 10: an event pin was right-clicked (its stored file index, recording
    // index, frame and kind).
    void JS2C_OnRightClickCrashPoint(int ifile, int igrid, int ipos, int icolor);

    // One call of the page: method by name, arguments as a JSON array
    // (missing or mistyped arguments read as 0 / empty, as a coercion would
    // give). *answer is {"r":result} for methods with a result, {} without.
    // False for an unknown method or arguments that are not a JSON array.
    bool Invoke(std::string_view method, std::string_view argsJson, std::string* answer);

private:
    IHostWebViewFuncs* funcs_; // not owned; outlives this object or is reset
    RunLater runLater_;
    PageCallback pageCallback_;
};

} // namespace kinetta::map
