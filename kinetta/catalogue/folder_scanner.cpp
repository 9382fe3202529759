#include "kinetta/catalogue/folder_scanner.h"

#include <utility>

namespace kinetta {

FolderScanner::~FolderScanner() {
    Stop();
}

unsigned FolderScanner::Scan(std::string path, RecorderFamily family, RecordingProbe probe,
                             Done done) {
    unsigned serial = 0;
    {
        std::lock_guard lock(mutex_);
        if (stop_) return 0;
        serial = ++serial_;
        if (serial == 0) serial = ++serial_; // 0 means "none" to the callers
        next_ = Request{serial, std::move(path), family, std::move(probe), std::move(done)};
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
    return serial;
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
        Catalogue folder(r.family, std::move(r.probe));
        folder.OpenSource(r.path, kSourceFolder);
        {
            std::lock_guard lock(mutex_);
            if (stop_ || r.serial != serial_) continue; // overtaken or cancelled
        }
        if (r.done) r.done(r.serial, folder.Entries());
    }
}

} // namespace kinetta
