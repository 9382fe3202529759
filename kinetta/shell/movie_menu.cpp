#include "kinetta/base/ui_text.h"
#include "kinetta/shell/movie_menu.h"
#include "kinetta/shell/movie_menu_open.h"

#include <QPainter>
#include <QStyleOptionMenuItem>

#include "kinetta/skin/command_target.h"
#include "kinetta/skin/skin_context.h"

namespace kinetta {

namespace {

const QColor kDisabledText{0x80, 0x80, 0x80};

} // namespace

CMovieMenu::CMovieMenu(const MovieMenuContext& context, CommandTarget* owner, QWidget* parent)
    : QMenu(parent), owner_(owner) {
    setObjectName(QStringLiteral("movie menu"));
    setFont(SharedFont(kFont10));
    for (const MovieMenuItem& item : MovieMenuItems(context)) {
        QAction* a = addAction(Text(item.text));
        a->setData(item.command);
        a->setEnabled(item.enabled);
    }
    connect(this, &QMenu::triggered, this, [this](QAction* a) {
        if (owner_ && a && a->isEnabled()) owner_->OnCommand(a->data().toInt());
    });
}

void CMovieMenu::Track(QPoint globalPoint) {
    popup(globalPoint);
}

QAction* CMovieMenu::ActionFor(int command) const {
    for (QAction* a : actions())
        if (a->data().toInt() == command) return a;
    return nullptr;
}

void CMovieMenu::paintEvent(QPaintEvent*) {
    // Each item is drawn by the menu itself: the platform style would ignore
    // the skin.
    QPainter p(this);
    p.fillRect(rect(), kSkinWindowColor);
    p.setPen(kSkinFrameColor);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.setFont(font());
    const int pad = fontMetrics().height() / 2;
    for (QAction* a : actions()) {
        const QRect r = actionGeometry(a);
        if (r.isEmpty()) continue;
        const bool hot = a == activeAction() && a->isEnabled();
        if (hot) p.fillRect(r, kSkinAccentColor);
        p.setPen(!a->isEnabled() ? kDisabledText : hot ? kSkinWindowColor : kSkinTextColor);
        p.drawText(r.adjusted(pad, 0, -pad, 0),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, a->text());
    }
}

QWidget* OpenMovieMenu(const MovieMenuRequest& request, CommandTarget* owner, QWidget* parent,
                       QPoint globalPoint) {
    MovieMenuContext ctx;
    ctx.engineState = request.engineState;
    ctx.area = request.area;
    ctx.camera = request.camera;
    ctx.displayModel = request.displayModel;
    ctx.mode = kBuildMode;
    ctx.areaHasMovie = request.areaHasMovie;
    ctx.hasFlow = request.hasFlow;
    auto* menu = new CMovieMenu(ctx, owner, parent);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->Track(globalPoint);
    return menu;
}

} // namespace kinetta
