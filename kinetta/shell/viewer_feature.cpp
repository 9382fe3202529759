#include "kinetta/shell/viewer_feature.h"

#include <QtGlobal>

namespace kinetta {

void FeatureSet::Adopt(std::unique_ptr<ViewerFeature> feature,
                       std::initializer_list<uint32_t> messages,
                       std::initializer_list<CommandRow> commands) {
    ViewerFeature* f = feature.get();
    for (uint32_t m : messages) {
        if (!messages_.emplace(m, f).second)
            qFatal("kinetta: message 0x%X is claimed by two features", static_cast<unsigned>(m));
    }
    for (const CommandRow& c : commands) {
        if (!commands_.emplace(c.id, std::pair{f, c}).second)
            qFatal("kinetta: command %d is claimed by two features", c.id);
    }
    features_.push_back(std::move(feature));
}

bool FeatureSet::RouteMessage(const WindowMessage& m) const {
    auto it = messages_.find(static_cast<uint32_t>(m.Message()));
    if (it == messages_.end()) return false;
    it->second->OnMessage(m);
    return true;
}

const FeatureSet::CommandRow* FeatureSet::Command(int id) const {
    auto it = commands_.find(id);
    return it == commands_.end() ? nullptr : &it->second.second;
}

bool FeatureSet::RouteCommand(int id) const {
    auto it = commands_.find(id);
    if (it == commands_.end()) return false;
    it->second.first->OnCommand(id);
    return true;
}

ViewerFeature::Hold FeatureSet::Holds() const {
    ViewerFeature::Hold hold = ViewerFeature::kHoldsNothing;
    for (const auto& f : features_)
        hold = std::max(hold, f->Holds());
    return hold;
}

void FeatureSet::Clear() {
    messages_.clear();
    commands_.clear();
    while (!features_.empty())
        features_.pop_back();
}

} // namespace kinetta
