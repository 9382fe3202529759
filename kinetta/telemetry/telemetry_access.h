#pragma once
// How the telemetry views reach the open recording's records: the session's
// current reader, valid between Lock and Unlock (the session's telemetry
// lock, which keeps a prefetch from replacing the lists meanwhile). The views
// mark matched records in the lists (detectors.h), so the reader is not const.

#include "playcore/container/gps_reader.h"

namespace kinetta {

class TelemetryAccess {
public:
    virtual ~TelemetryAccess() = default;
    virtual bool LockTelemetry() = 0;
    virtual bool UnlockTelemetry() = 0;
    // The reader of the engine that supplied the telemetry; null when none.
    // Only between LockTelemetry and UnlockTelemetry.
    virtual playcore::sGPSREADER* TelemetryReaderLocked() = 0;
};

// Holds the lock for a scope; Reader() is null when the lock was not taken.
class TelemetryLock {
public:
    explicit TelemetryLock(TelemetryAccess* access)
        : access_(access && access->LockTelemetry() ? access : nullptr) {}
    ~TelemetryLock() {
        if (access_) access_->UnlockTelemetry();
    }
    TelemetryLock(const TelemetryLock&) = delete;
    TelemetryLock& operator=(const TelemetryLock&) = delete;
    playcore::sGPSREADER* Reader() const {
        return access_ ? access_->TelemetryReaderLocked() : nullptr;
    }

private:
    TelemetryAccess* access_;
};

} // namespace kinetta
