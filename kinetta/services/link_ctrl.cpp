#include "kinetta/services/link_ctrl.h"

#include <QDesktopServices>

#include "kinetta/services/link_markup.h"

namespace kinetta {

namespace {

// Text as rich-text HTML: escaped, line breaks ("\r\n", "\r" or "\n") as <br>.
QString HtmlOf(const std::string& text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
    return s.toHtmlEscaped().replace('\n', QStringLiteral("<br>"));
}

QString PlainOf(const std::string& text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return s.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
}

} // namespace

CLinkCtrl::CLinkCtrl(int controlId, QWidget* parent) : QLabel(parent), controlId_(controlId) {
    setObjectName(QString::number(controlId));
    setTextFormat(Qt::RichText);
    setOpenExternalLinks(false);
    setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Anchors are named by their index, so no address ever reaches the HTML.
    connect(this, &QLabel::linkActivated, this, [this](const QString& name) {
        bool ok = false;
        const int index = name.mid(1).toInt(&ok);
        if (name.startsWith('#') && ok) ActivateLink(index);
    });
}

std::function<void(const QUrl&)>& CLinkCtrl::Opener() {
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) {
        QDesktopServices::openUrl(url);
    };
    return opener;
}

void CLinkCtrl::SetMarkup(const std::string& markup) {
    markup_ = markup;
    links_.clear();
    shown_.clear();
    QString html;
    for (const LinkSegment& s : ParseLinkMarkup(markup)) {
        shown_ += PlainOf(s.text);
        if (!s.link) {
            html += HtmlOf(s.text);
        } else {
            html += QStringLiteral("<a href=\"#%1\">%2</a>").arg(links_.size()).arg(HtmlOf(s.text));
            links_.push_back(s.href);
        }
    }
    setText(html);
}

QString CLinkCtrl::ShownText() const {
    return shown_;
}

void CLinkCtrl::ActivateLink(int index) {
    if (index < 0 || index >= static_cast<int>(links_.size())) return;
    const std::string& address = links_[static_cast<size_t>(index)];
    if (!IsOpenableLink(address)) return;
    const QUrl url(QString::fromUtf8(address.data(), static_cast<qsizetype>(address.size())),
                   QUrl::StrictMode);
    if (!url.isValid()) return;
    const QString scheme = url.scheme().toLower();
    if ((scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty())
        return;
    if (Opener()) Opener()(url);
}

} // namespace kinetta
