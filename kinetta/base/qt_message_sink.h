#pragma once
// The Qt side of platform::MessageSink: a target is a QObject (a window), and a
// post is a WindowMessage queued to it with postEvent, from any thread. A
// target must stay alive while anything may still post to it: the engines and
// the source watch are stopped before the windows they post to go away.

#include "kinetta/base/window_message.h"
#include "platform/message_sink.h"

namespace kinetta {

class QtMessageSink : public platform::MessageSink {
public:
    bool Post(platform::MessageTarget target, uint32_t message, uintptr_t wParam,
              intptr_t lParam) override {
        if (!target) return false;
        PostWindowMessage(static_cast<QObject*>(target), static_cast<int>(message), wParam, lParam);
        return true;
    }
};

} // namespace kinetta
