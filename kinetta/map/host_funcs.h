#pragma once
// IHostWebViewFuncs: what the map page's host object asks of the program. The
// main window's CGoogleMapDlgWrap implements it; every call arrives on the UI
// thread, in the middle of a synchronous call of the page.

#include <string>
#include <string_view>

#include "kinetta/map/track_array.h"

namespace kinetta::map {

class IHostWebViewFuncs {
public:
    virtual ~IHostWebViewFuncs() = default;

    // Operations in slot order. (The older page's two text look-ups by index
    // and its string release have no caller and are left out.)

    // 1 while the map is shown and its tile server answers; 0 otherwise.
    virtual int ConnectTest() = 0;
    // The page has created its map.
    virtual void OnInitHtml() = 0;
    // The track of every recording of the list as shown.
    virtual TrackArray GetGPSData() = 0;
    // The open recording's track; the text argument is ignored.
    virtual TrackArray GetGridData(std::string_view text) = 0;
    // The current frame, "%d".
    virtual std::string GetRelJpgNum() = 0;
    // An event pin was clicked.
    virtual void OnClickCrashPoint(int ifile, int igrid, int ipos, int valid, double lat,
                                   double lng, double speed, double direction) = 0;
    // The address of the map library's loader.
    virtual std::string GetMapURL() = 0;
    // Post the map state to the page.
    virtual void SetSend() = 0;
    // An event pin was right-clicked: ipos its frame, icolor its kind (the
    // icon index). Offered to the event clips; nothing by default.
    virtual void OnRightClickCrashPoint(int ifile, int igrid, int ipos, int icolor) {
        (void)ifile, (void)igrid, (void)ipos, (void)icolor;
    }
};

} // namespace kinetta::map
