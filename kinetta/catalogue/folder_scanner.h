#pragma once
// FolderScanner: the reading of a source or of one folder (start-up, a source
// chosen, a folder switch) on a worker thread of its own, so that the user
// interface never waits for the card. The latest request wins: a request made
// while a scan runs replaces any that waits, the scan under way is given up at
// its next folder, and the result of a scan that was overtaken (or cancelled)
// is dropped. The worker starts with the first request and ends with Stop (or
// the scanner).

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "kinetta/catalogue/catalogue.h"

namespace kinetta {

// A source as start-up or the source dialog opens it: the source's catalogue
// and the folder item the list shows first with that folder's recordings.
struct ReadSourceResult {
    std::unique_ptr<Catalogue> catalogue;
    bool ok = false; // Catalogue::OpenSource's answer
    // The tree item shown (-1: none, the list shows the catalogue's entries).
    int item = -1;
    std::vector<RecordingEntry> entries; // of `item`, as a folder source lists them
};

// Reads the source and picks the folder to show: the item whose path is
// preferredFolder when the tree has it, else item 0 and, when that lists
// nothing, the newest folder with recordings (FolderItemsNewestFirst; the last
// one tried when none has any). A single file or a source without tree items
// shows the catalogue's own entries. `cancelled`, asked before each folder,
// gives the reading up.
// treeByNames: the tree is the one the names give (no file outside the shown
// folder is read: a card in a slow reader shows its first folder in seconds,
// not after every file has been read); the shown folder is read in full.
// The catalogue is then names-only, and a folder whose recordings all turn
// out unfinished or empty is still in its tree: a full read settles that.
ReadSourceResult ReadSource(const std::string& path, SourceKind kind, RecorderFamily family,
                            RecordingProbe probe, const std::string& preferredFolder,
                            const std::function<bool()>& cancelled = {}, bool treeByNames = false);

class FolderScanner {
public:
    // Called on the worker thread with the request's serial and the folder's
    // recordings, as Catalogue::OpenSource(path, kSourceFolder) lists them.
    using Done = std::function<void(unsigned serial, std::vector<RecordingEntry> entries)>;
    using SourceDone = std::function<void(unsigned serial, ReadSourceResult result)>;

    FolderScanner() = default;
    ~FolderScanner(); // Stop()
    FolderScanner(const FolderScanner&) = delete;
    FolderScanner& operator=(const FolderScanner&) = delete;

    // Each returns at once with the request's serial (never 0); 0 after Stop.
    // preview, when given, is called first with the folder's recordings by
    // their names alone (Catalogue::SetNamesOnly: no file is read), then done
    // with the folder as read.
    unsigned Scan(std::string path, RecorderFamily family, RecordingProbe probe, Done done,
                  Done preview = {});
    // ReadSource(path, kind, family, probe, preferredFolder, treeByNames) on the worker.
    unsigned ScanSource(std::string path, SourceKind kind, RecorderFamily family,
                        RecordingProbe probe, std::string preferredFolder, SourceDone done,
                        bool treeByNames = false);
    // The scans asked for so far report nothing.
    void Cancel();
    // Ends the worker (waiting for the scan under way to reach its next
    // folder); later requests do nothing.
    void Stop();

private:
    // Runs on the worker; `current` tells whether the request is still the latest.
    using Job = std::function<void(unsigned serial, const std::function<bool()>& current)>;
    struct Request {
        unsigned serial = 0;
        Job job;
    };
    unsigned Post(Job job);
    bool Current(unsigned serial);
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Request> next_; // guarded by mutex_
    unsigned serial_ = 0;         // guarded by mutex_; the latest request
    bool stop_ = false;           // guarded by mutex_
    std::thread worker_;          // started by the first Scan, joined by Stop
};

} // namespace kinetta
