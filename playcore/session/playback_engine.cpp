#include "playcore/session/playback_engine.h"

namespace playcore {

const EngineOps& StandardEngineOps() {
    static const EngineOps ops{};
    return ops;
}

} // namespace playcore
