#pragma once
// CLinkCtrl: the link control of the update notice and the settings dialog.
// It shows link markup (link_markup.h) with its line breaks; every text is
// shown as text, and a clicked anchor is opened only when its address is an
// http or https address, through the desktop's URL opener.

#include <QLabel>
#include <QUrl>

#include <functional>
#include <string>
#include <vector>

namespace kinetta {

class CLinkCtrl : public QLabel {
public:
    CLinkCtrl(int controlId, QWidget* parent);

    int ControlId() const { return controlId_; }
    // Replaces the shown markup (UTF-8).
    void SetMarkup(const std::string& markup);
    const std::string& Markup() const { return markup_; }
    // The text as shown, anchors by their text, line breaks as '\n'.
    QString ShownText() const;
    // The anchors' addresses in order.
    const std::vector<std::string>& Links() const { return links_; }
    // Acts as a click on anchor index (what the label's link activation does).
    void ActivateLink(int index);

    // Opens an address; the desktop's opener unless a test replaces it.
    static std::function<void(const QUrl&)>& Opener();

private:
    int controlId_;
    std::string markup_;
    std::vector<std::string> links_;
    QString shown_;
};

} // namespace kinetta
