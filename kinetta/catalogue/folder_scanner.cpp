#include "kinetta/catalogue/folder_scanner.h"

#include <utility>

namespace kinetta {

ReadSourceResult ReadSource(const std::string& path, SourceKind kind, RecorderFamily family,
                            RecordingProbe probe, const std::string& preferredFolder,
                            const std::function<bool()>& cancelled, bool treeByNames) {
    ReadSourceResult r;
    r.catalogue = std::make_unique<Catalogue>(family, treeByNames ? RecordingProbe{} : probe);
    r.catalogue->SetNamesOnly(treeByNames);
    r.catalogue->SetCancel(cancelled);
    r.ok = r.catalogue->OpenSource(path, kind);
    r.catalogue->SetCancel({});
    const std::vector<TreeItem>& tree = r.catalogue->Tree();
    // Without a folder to show, the source's own entries are listed: those
    // are never shown as their names give them.
    if (treeByNames && (!r.ok || kind == kSourceFile || tree.empty()))
        return ReadSource(path, kind, family, std::move(probe), preferredFolder, cancelled, false);
    if (!r.ok || kind == kSourceFile || tree.empty()) return r;
    auto read = [&](int item) {
        r.item = item;
        if (kind == kSourceFolder && item == 0 && !treeByNames) { // the folder itself, read already
            r.entries = r.catalogue->Entries();
            return;
        }
        Catalogue folder(family, probe);
        folder.SetCancel(cancelled);
        folder.OpenSource(tree[static_cast<size_t>(item)].path, kSourceFolder);
        r.entries = folder.Entries();
    };
    if (const int preferred = preferredFolder.empty() ? -1 : FindTreeItem(tree, preferredFolder);
        preferred >= 0) {
        read(preferred);
        return r;
    }
    read(0);
    if (r.entries.empty())
        for (int item : FolderItemsNewestFirst(tree)) {
            if (item == 0) continue;
            if (cancelled && cancelled()) break;
            read(item);
            if (!r.entries.empty()) break;
        }
    return r;
}

FolderScanner::~FolderScanner() {
    Stop();
}

unsigned FolderScanner::Post(Job job) {
    unsigned serial = 0;
    {
        std::lock_guard lock(mutex_);
        if (stop_) return 0;
        serial = ++serial_;
        if (serial == 0) serial = ++serial_; // 0 means "none" to the callers
        next_ = Request{serial, std::move(job)};
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
    return serial;
}

bool FolderScanner::Current(unsigned serial) {
    std::lock_guard lock(mutex_);
    return !stop_ && serial == serial_;
}

unsigned FolderScanner::Scan(std::string path, RecorderFamily family, RecordingProbe probe,
                             Done done, Done preview) {
    return Post(
        [path = std::move(path), family, probe = std::move(probe), done = std::move(done),
         preview = std::move(preview)](unsigned serial, const std::function<bool()>& current) {
            if (preview) {
                Catalogue names(family, {});
                names.SetNamesOnly(true);
                names.SetCancel([&] { return !current(); });
                names.OpenSource(path, kSourceFolder);
                if (!current()) return;
                preview(serial, names.Entries());
            }
            Catalogue folder(family, probe);
            folder.SetCancel([&] { return !current(); });
            folder.OpenSource(path, kSourceFolder);
            if (current() && done) done(serial, folder.Entries());
        });
}

unsigned FolderScanner::ScanSource(std::string path, SourceKind kind, RecorderFamily family,
                                   RecordingProbe probe, std::string preferredFolder,
                                   SourceDone done, bool treeByNames) {
    return Post([path = std::move(path), kind, family, probe = std::move(probe),
                 preferredFolder = std::move(preferredFolder), done = std::move(done),
                 treeByNames](unsigned serial, const std::function<bool()>& current) {
        ReadSourceResult r = ReadSource(
            path, kind, family, probe, preferredFolder, [&] { return !current(); }, treeByNames);
        if (current() && done) done(serial, std::move(r));
    });
}

void FolderScanner::Cancel() {
    std::lock_guard lock(mutex_);
    next_.reset();
    ++serial_; // a scan under way is no longer the latest
    if (serial_ == 0) ++serial_;
}

void FolderScanner::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        next_.reset();
    }
    wake_.notify_all();
    if (worker_.joinable()) worker_.join();
}

void FolderScanner::Work() {
    for (;;) {
        Request r;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || next_.has_value(); });
            if (stop_) return;
            r = std::move(*next_);
            next_.reset();
        }
        const unsigned serial = r.serial;
        r.job(serial, [this, serial] { return Current(serial); });
    }
}

} // namespace kinetta
