#pragma once
// CGoogleMapDlg2: the map dialog, whose whole client area is the browser
// control of the map page. It keeps the map state the bridge sends to the
// page (position and play status) and owns the CWebView2Holder. The floating
// frame around it, the logo panel and the map-or-logo decision are the map
// window's.

#include <QWidget>

#include "kinetta/map/map_dlg_wrap.h"
#include "kinetta/map/web_view_holder.h"

namespace kinetta::map {

class CGoogleMapDlg2 : public QWidget, public IMapDialog {
    Q_OBJECT
public:
    explicit CGoogleMapDlg2(QWidget* parent = nullptr);
    ~CGoogleMapDlg2() override;

    // The bridge functions the page's host object calls (the main window's
    // CGoogleMapDlgWrap). Not owned.
    void SetHostFuncs(IHostWebViewFuncs* funcs) { funcs_ = funcs; }
    IHostWebViewFuncs* HostFuncs() const { return funcs_; }

    // Bring-up of the browser control inside this dialog (once); posts
    // UM_WEBVIEW_CREATED to notify when the control is ready.
    bool StartWebView(QObject* notify, const MapTileSettings& tiles,
                      const QString& storageRoot = {});
    CWebView2Holder& Holder() { return holder_; }

    // ---- IMapDialog ----
    MapState& State() override { return state_; }
    void ExecuteMapScript(const std::string& script) override { holder_.ExecuteScript(script); }
    void PostMapState(const MapState& state) override { holder_.PostMapState(state); }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    IHostWebViewFuncs* funcs_ = nullptr;
    MapState state_;         // UI thread: written by the main window, read by SetSend
    CWebView2Holder holder_; // its view is a child of this dialog
};

} // namespace kinetta::map
