// The viewer's routing tables and ordered sequences, without a window: each
// message and command row reaches its own feature and nothing else, the
// holds of the features add up, the features end in the reverse order of
// their creation, and a row claimed twice ends the program; a frame is shown
// with the session's telemetry lock held around every slot, in the order of
// connection, and not at all when the lock is refused.

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "kinetta/shell/movie_view_state.h"
#include "kinetta/shell/viewer_feature.h"
#include "kinetta/shell/viewer_state.h"
#include "playcore/session/playback_session.h"

namespace kinetta {
namespace {

std::vector<std::string> gLog;

class Probe : public ViewerFeature {
public:
    Probe(ViewerState& v, std::string name, Hold hold = kHoldsNothing)
        : ViewerFeature(v), name_(std::move(name)), hold_(hold) {}
    ~Probe() override { gLog.push_back(name_ + " ends"); }
    void OnMessage(const WindowMessage& m) override {
        gLog.push_back(name_ + " message " + std::to_string(m.Message()));
    }
    void OnCommand(int id) override { gLog.push_back(name_ + " command " + std::to_string(id)); }
    Hold Holds() const override { return hold_; }

private:
    std::string name_;
    Hold hold_;
};
class OtherProbe : public Probe {
    using Probe::Probe;
};

struct Viewer {
    playcore::PlaybackSession session;
    MovieViewState view;
    ViewerState state{session, nullptr, nullptr, view};
};

TEST(FeatureSet, RowsReachTheirFeatureHoldsAddUpAndTheLastCreatedEndsFirst) {
    Viewer v;
    gLog.clear();
    {
        FeatureSet set;
        Probe* a = set.Add(std::make_unique<Probe>(v.state, "a"), {0x8008, 0x8516}, {{38008}});
        set.Add(std::make_unique<OtherProbe>(v.state, "b", ViewerFeature::kHoldsList), {0x87D1},
                {{38016, FeatureSet::kAnyTime}});
        EXPECT_EQ(set.Find<Probe>(), a);
        EXPECT_NE(set.Find<OtherProbe>(), nullptr);
        EXPECT_EQ(set.Holds(), ViewerFeature::kHoldsList);

        struct Case {
            int message;
            bool routed;
        };
        for (const Case c : {Case{0x8008, true}, Case{0x87D1, true}, Case{0x8516, true},
                             Case{0x8517, false}, Case{0x8005, false}})
            EXPECT_EQ(set.RouteMessage(WindowMessage(c.message, 0, 0)), c.routed) << c.message;
        for (int id : {38008, 38016, 38013})
            set.RouteCommand(id);
        ASSERT_NE(set.Command(38016), nullptr);
        EXPECT_TRUE(set.Command(38016)->anyTime);
        EXPECT_FALSE(set.Command(38008)->anyTime);
        EXPECT_EQ(set.Command(38013), nullptr);
        EXPECT_EQ(gLog,
                  (std::vector<std::string>{"a message 32776", "b message 34769", "a message 34070",
                                            "a command 38008", "b command 38016"}));
        gLog.clear();
    }
    EXPECT_EQ(gLog, (std::vector<std::string>{"b ends", "a ends"}));
}

TEST(FeatureSetDeathTest, ARowClaimedTwiceEndsTheProgram) {
    Viewer v;
    auto claimTwice = [&v](std::initializer_list<uint32_t> messages,
                           std::initializer_list<FeatureSet::CommandRow> commands) {
        FeatureSet set;
        set.Add(std::make_unique<Probe>(v.state, "a"), {0x812D}, {{38013}});
        set.Add(std::make_unique<Probe>(v.state, "b"), messages, commands);
    };
    EXPECT_DEATH(claimTwice({0x812D}, {}), "message 0x812D is claimed by two features");
    EXPECT_DEATH(claimTwice({}, {{38013}}), "command 38013 is claimed by two features");
}

TEST(ViewerState, AFrameIsShownInsideTheTelemetryLockInConnectionOrder) {
    Viewer v;
    std::vector<std::string> trace;
    v.state.SetTrace([&trace](std::string_view step) { trace.emplace_back(step); });
    // Whether another thread could take engine 0's data lock now.
    auto lockFree = [&v] {
        return std::async(std::launch::async,
                          [&v] {
                              std::recursive_mutex& m = v.session.Engine(0).dataLock;
                              if (!m.try_lock()) return false;
                              m.unlock();
                              return true;
                          })
            .get();
    };
    for (const char* name : {"graph", "map"})
        QObject::connect(&v.state, &ViewerState::FrameShown, &v.state, [&, name](long long frame) {
            trace.push_back(std::string(name) + " " + std::to_string(frame) +
                            (lockFree() ? " unlocked" : " locked"));
        });

    // No engine is ready: the lock is refused and no view is asked.
    v.state.ShowFrame(5);
    EXPECT_TRUE(trace.empty());

    playcore::EngineOps ops = playcore::StandardEngineOps();
    for (int k = 0; k < 2; ++k) {
        v.session.SetOps(k, ops);
        ASSERT_TRUE(v.session.InitEngine(k, {}));
    }
    v.state.ShowFrame(7);
    EXPECT_EQ(trace, (std::vector<std::string>{"telemetry locked", "graph 7 locked", "map 7 locked",
                                               "telemetry unlocked"}));
    EXPECT_TRUE(lockFree());
    v.session.TermEngines();
}

} // namespace
} // namespace kinetta
