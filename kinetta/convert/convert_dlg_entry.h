#pragma once
// Opening the conversion dialog from a flow (UI thread). See upload_convert.h.

#include <string>

#include "playcore/convert/convert_job.h"

class QWidget;

namespace kinetta {

struct ConvertDialogInput {
    std::string source; // the recording (a combined file is split for the preview)
    int totalFrames = 0;
    float frameRate = 0; // frames per second as the flow computed it
    bool flip = false;   // the main window's mounting direction
};

// Shows CConvertDlg modally over owner. Returns 0 when the user confirmed
// (settings->masks and settings->silenceAudio then hold the choice; the
// other fields are left as they were), 2 otherwise.
int RunConvertDialog(QWidget* owner, const ConvertDialogInput& input,
                     playcore::ConvertSettings* settings);

} // namespace kinetta
