#pragma once
// Commands of child controls. A window that handles the commands of its
// controls (buttons, check buttons) implements CommandTarget; a control reports
// its command synchronously to its parent, as a click does on the platform.

#include <QWidget>

namespace kinetta {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // A control of this window was activated; id is the control's id.
    virtual void OnCommand(int id) = 0;
};

// Reports command id to the parent of control when it handles commands.
inline void SendCommandToParent(QWidget* control, int id) {
    if (!control) return;
    if (auto* target = dynamic_cast<CommandTarget*>(control->parentWidget())) target->OnCommand(id);
}

} // namespace kinetta
