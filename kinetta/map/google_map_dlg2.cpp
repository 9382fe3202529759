#include "kinetta/map/google_map_dlg2.h"

#include <QResizeEvent>

namespace kinetta::map {

CGoogleMapDlg2::CGoogleMapDlg2(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CGoogleMapDlg2"));
}

CGoogleMapDlg2::~CGoogleMapDlg2() = default;

bool CGoogleMapDlg2::StartWebView(QObject* notify, const MapTileSettings& tiles,
                                  const QString& storageRoot) {
    return holder_.Create(this, funcs_, notify, tiles, storageRoot);
}

void CGoogleMapDlg2::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    holder_.SetBounds(rect());
}

} // namespace kinetta::map
