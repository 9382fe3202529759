#pragma once
// RecorderFamily: the two recorder product lines, whose file-name grammars and
// GPS record layouts differ. The container reads records by the family its
// caller names; which family a run uses is decided by the application.

namespace playcore {

enum class RecorderFamily {
    TX40, // products TX40 and TX40L, shown together as "TX40/40L"; family flag 1
    TX50, // product TX50; family flag 0
};

} // namespace playcore
