#pragma once
// ViewerFeature: one feature of the viewer (the telemetry views, the map, the
// file flows, the exports, the GPX export, the services, ...). A feature lives
// in its own folder under kinetta/, is created by the main window in one line
// (kinetta_dlg_features.cpp), connects to the ViewerState signals it needs,
// owns its windows, and receives the private messages and commands of its
// rows in the window's tables (FeatureSet).
//
// FeatureSet: the window's features in the order of their creation, and the
// two routing tables: message number -> feature, command id -> feature. A
// message or a command belongs to at most one feature; a second claim is a
// programming error and ends the program at start-up.
//
// UI thread only.

#include <QObject>

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <vector>

#include "kinetta/base/window_message.h"
#include "kinetta/shell/viewer_state.h"

namespace kinetta {

class ViewerFeature : public QObject {
public:
    // What a feature holds of the window while it works.
    enum Hold : int {
        kHoldsNothing = 0,
        kHoldsList = 1,    // the recording list takes no input
        kHoldsToolbar = 2, // nor do the toolbar and the list
    };

    explicit ViewerFeature(ViewerState& viewer) : viewer_(viewer) {}
    ~ViewerFeature() override = default;
    ViewerFeature(const ViewerFeature&) = delete;
    ViewerFeature& operator=(const ViewerFeature&) = delete;

    // One of its rows of the message table.
    virtual void OnMessage(const WindowMessage& message) { (void)message; }
    // One of its rows of the command table.
    virtual void OnCommand(int id) { (void)id; }
    virtual Hold Holds() const { return kHoldsNothing; }

protected:
    ViewerState& viewer_;
};

class FeatureSet {
public:
    // A command row: anyTime commands run even within the last frames of a
    // recording and while their toolbar button is disabled (the settings);
    // the others wait like every playback command.
    struct CommandRow {
        int id = 0;
        bool anyTime = false;
    };
    static constexpr bool kAnyTime = true;

    FeatureSet() = default;
    ~FeatureSet() { Clear(); }
    FeatureSet(const FeatureSet&) = delete;
    FeatureSet& operator=(const FeatureSet&) = delete;

    // Takes a feature with its rows of the message and the command table;
    // returns it for the features created after it that use it.
    template <class T>
    T* Add(std::unique_ptr<T> feature, std::initializer_list<uint32_t> messages,
           std::initializer_list<CommandRow> commands) {
        T* f = feature.get();
        Adopt(std::move(feature), messages, commands);
        return f;
    }

    // Hands m to the feature of its row; false when no feature has one.
    bool RouteMessage(const WindowMessage& m) const;
    // The row of command id; null when no feature has it.
    const CommandRow* Command(int id) const;
    // Runs command id in the feature of its row; false when none has it.
    bool RouteCommand(int id) const;
    // The strongest hold of any feature.
    ViewerFeature::Hold Holds() const;

    // The feature of type T; null when there is none.
    template <class T> T* Find() const {
        for (const auto& f : features_)
            if (auto* t = dynamic_cast<T*>(f.get())) return t;
        return nullptr;
    }
    size_t Count() const { return features_.size(); }

    // Ends every feature, the last created first.
    void Clear();

private:
    void Adopt(std::unique_ptr<ViewerFeature> feature, std::initializer_list<uint32_t> messages,
               std::initializer_list<CommandRow> commands);

    std::vector<std::unique_ptr<ViewerFeature>> features_; // creation order
    std::map<uint32_t, ViewerFeature*> messages_;
    std::map<int, std::pair<ViewerFeature*, CommandRow>> commands_;
};

} // namespace kinetta
