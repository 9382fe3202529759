#pragma once
// Choosing the source of recordings: at start-up, through the browse command,
// and noticing when it goes away.

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kinetta/base/recorder_family.h"
#include "kinetta/catalogue/catalogue.h"
#include "platform/message_sink.h"

namespace kinetta {

class SettingsStore;

struct SourceChoice {
    SourceKind kind = kSourceNone;
    std::string path;
};

// The source at start-up: the removable cards examined from the last to the
// first (the first whose root exists wins), then "SOURCE"/"FOLDER" when that
// folder exists, then "SOURCE"/"FILE" when that file exists, else none.
SourceChoice ChooseInitialSource(const std::vector<std::string>& removableRoots,
                                 const SettingsStore& settings);

// What the browse command did after the source dialog closed with OK.
struct BrowseOutcome {
    bool accepted = false;    // the path exists and the family decision took it
    std::string path;         // the path as the source (one trailing separator dropped)
    bool opened = false;      // a new source is in the catalogue
    bool refused = false;     // the family decision refused the source
    bool openFailed = false;  // a single file that is not a complete recording
    std::string modelKey;     // of a card source
    bool traceMarker = false; // "pvtrace.txt" in a card's root
    ModeLayout layout{};
};

// The browse command from the dialog's answer on: an empty or missing path
// ends it without change; a card's model key decides the family (a refusal
// ends it: the old catalogue stays as it is); then the catalogue is opened
// for the decided family, with probeFor(family) as its probe when given.
// openNow false: the catalogue is left unread (the caller reads the
// accepted path elsewhere, off the UI thread).
BrowseOutcome ApplySourceChoice(const SourceChoice& choice, FamilyDecider& decider,
                                Catalogue& catalogue, OperatingMode mode,
                                const std::function<RecordingProbe(RecorderFamily)>& probeFor = {},
                                bool openNow = true);

// Watches the source path from a worker thread. Every period it checks, while
// a path is set, that the path exists and is still on the file system it was
// on when it was set (a card unmounted from a mount point that stays, as an
// fstab entry's, leaves an empty folder of another file system under the
// path); the first time it is not, it clears the path and posts
// UM_SOURCE_LOST (wParam and lParam 0) to the target.
class SourceWatch {
public:
    using ExistsFn = std::function<bool(const std::string&)>;
    SourceWatch(platform::MessageSink& sink, platform::MessageTarget target,
                std::chrono::milliseconds period = std::chrono::milliseconds(100),
                ExistsFn exists = {});
    ~SourceWatch(); // stops the thread and waits for it
    SourceWatch(const SourceWatch&) = delete;
    SourceWatch& operator=(const SourceWatch&) = delete;

    void SetWatchedPath(std::string path); // empty: watch nothing
    std::string WatchedPath() const;

    // Whether the program's own executable is gone (started from the removed card).
    static bool ExecutableGone(const std::string& procExe = "/proc/self/exe");

private:
    void Run();

    platform::MessageSink& sink_;
    const platform::MessageTarget target_;
    const std::chrono::milliseconds period_;
    const ExistsFn exists_;
    mutable std::mutex mutex_;
    std::condition_variable wake_; // with mutex_: stop requests
    std::string path_;             // guarded by mutex_
    dev_t device_ = 0;             // guarded by mutex_; path_'s file system, 0: unknown
    bool stop_ = false;            // guarded by mutex_
    std::thread thread_;           // started last, joined by the destructor
};

} // namespace kinetta
