#include "kinetta/catalogue/source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "kinetta/base/message_ids.h"
#include "kinetta/base/settings_store.h"
#include "platform/files.h"

namespace kinetta {

SourceChoice ChooseInitialSource(const std::vector<std::string>& removableRoots,
                                 const SettingsStore& settings) {
    for (auto it = removableRoots.rbegin(); it != removableRoots.rend(); ++it)
        if (platform::IsDirectory(*it)) return {kSourceCard, *it};
    std::string folder = settings.Read("SOURCE", "FOLDER");
    if (!folder.empty() && platform::IsDirectory(folder)) return {kSourceFolder, folder};
    std::string file = settings.Read("SOURCE", "FILE");
    if (!file.empty() && platform::IsRegularFile(file)) return {kSourceFile, file};
    return {};
}

BrowseOutcome ApplySourceChoice(const SourceChoice& choice, FamilyDecider& decider,
                                Catalogue& catalogue, OperatingMode mode,
                                const std::function<RecordingProbe(RecorderFamily)>& probeFor,
                                bool openNow) {
    BrowseOutcome out;
    std::string path = choice.path;
    if (path.empty() || !platform::Exists(path)) return out;
    if (path.size() > 1 && path.back() == '/') path.pop_back(); // one trailing separator
    // A card's markers decide the family, and so do a folder's when it is a
    // card's copy or a card mounted where it is not seen as removable.
    if (choice.kind == kSourceCard || choice.kind == kSourceFolder)
        out.modelKey = ModelKeyOfRoot(path);
    if (!decider.Decide(out.modelKey)) {
        out.refused = true;
        return out;
    }
    out.layout = ApplyModeLayout(mode);
    out.accepted = true;
    out.path = path;
    out.traceMarker = choice.kind == kSourceCard && HasTraceMarker(path);
    if (!openNow) return out;
    if (probeFor)
        catalogue.SetFamily(decider.Family(), probeFor(decider.Family()));
    else
        catalogue.SetFamily(decider.Family());
    out.openFailed = !catalogue.OpenSource(path, choice.kind);
    out.opened = !out.openFailed;
    return out;
}

SourceWatch::SourceWatch(platform::MessageSink& sink, platform::MessageTarget target,
                         std::chrono::milliseconds period, ExistsFn exists)
    : sink_(sink), target_(target), period_(period),
      exists_(exists ? std::move(exists)
                     : ExistsFn([](const std::string& p) { return platform::Exists(p); })),
      thread_([this] { Run(); }) {}

SourceWatch::~SourceWatch() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

namespace {
// The file system path is on; 0 when it cannot be asked.
dev_t DeviceOf(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}
} // namespace

void SourceWatch::SetWatchedPath(std::string path) {
    const dev_t device = DeviceOf(path); // outside the lock: the stat may block
    std::lock_guard lock(mutex_);
    path_ = std::move(path);
    device_ = device;
}

std::string SourceWatch::WatchedPath() const {
    std::lock_guard lock(mutex_);
    return path_;
}

void SourceWatch::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        wake_.wait_for(lock, period_, [this] { return stop_; });
        if (stop_ || path_.empty()) continue;
        std::string path = path_;
        const dev_t device = device_;
        lock.unlock(); // the check may block on a dying device
        bool present = exists_(path) && (device == 0 || DeviceOf(path) == device);
        lock.lock();
        if (present || path_ != path) continue; // still there, or replaced meanwhile
        path_.clear();
        lock.unlock();
        sink_.Post(target_, UM_SOURCE_LOST, 0, 0);
        lock.lock();
    }
}

bool SourceWatch::ExecutableGone(const std::string& procExe) {
    char buf[PATH_MAX];
    ssize_t n = ::readlink(procExe.c_str(), buf, sizeof buf - 1);
    if (n < 0) return false; // cannot tell: assume present
    std::string target(buf, static_cast<size_t>(n));
    static const std::string deleted = " (deleted)";
    if (target.size() > deleted.size() &&
        target.compare(target.size() - deleted.size(), deleted.size(), deleted) == 0)
        return true;
    return !platform::Exists(target);
}

} // namespace kinetta
