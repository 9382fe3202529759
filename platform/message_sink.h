#pragma once
// How core code and worker threads reach a window: a private message with a
// fixed number, posted (never sent) to a target. The Qt layer implements it
// with QCoreApplication::postEvent; tests record the posts.

#include <cstdint>

namespace platform {

// An opaque window identity; the Qt layer maps it to a QObject.
using MessageTarget = void*;

class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Thread-safe; returns at once. False when the target no longer takes messages.
    virtual bool Post(MessageTarget target, uint32_t message, uintptr_t wParam,
                      intptr_t lParam) = 0;
};

} // namespace platform
