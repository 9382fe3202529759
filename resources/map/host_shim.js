// The WebView2 host bridge as the map page sees it, defined before the page's
// own scripts run: chrome.webview.hostObjects.sync.sample, whose methods are
// synchronous requests to the program's private scheme, and the web-message
// listener through which the program's state message arrives. Only documents
// of the map page's own origin get it (the program refuses other callers too).
(function () {
    if (location.protocol !== 'kinetta-map:') return;
    if (window.chrome && window.chrome.webview && window.chrome.webview.__kinetta) return;
    var base = 'kinetta-map://map';

    function call(method, args) {
        try {
            var x = new XMLHttpRequest();
            x.open('GET', base + '/host/' + method + '?args=' +
                   encodeURIComponent(JSON.stringify(args)), false);
            x.send();
            if (x.status !== 200) return undefined;
            return JSON.parse(x.responseText).r;
        } catch (e) {
            return undefined;
        }
    }

    var callbacks = {};
    var nextCallback = 1;
    var sample = {
        CallCallbackAsynchronously: function (callback) {
            var id = nextCallback++;
            callbacks[id] = callback;
            call('CallCallbackAsynchronously', [id]);
        },
        TestMethod: function (s, i) { return call('TestMethod', [s, i]); },
        JS2C_ConnectTest: function () { return call('JS2C_ConnectTest', []); },
        JS2C_GetMapURL: function () { return call('JS2C_GetMapURL', []); },
        JS2C_GetGPSData: function () { return call('JS2C_GetGPSData', []); },
        JS2C_GetGridData: function (s) { return call('JS2C_GetGridData', [s]); },
        JS2C_GetRelJpgNum: function () { return call('JS2C_GetRelJpgNum', []); },
        JS2C_OnClickCrashPoint: function (ifile, igrid, ipos, valid, lat, lng, speed, direction) {
            call('JS2C_OnClickCrashPoint', [ifile, igrid, ipos, valid, lat, lng, speed, direction]);
        },
        JS2C_OnInitHtml: function () { call('JS2C_OnInitHtml', []); },
        JS2C_SetSend: function () { call('JS2C_SetSend', []); },
        JS2C_OnRightClickCrashPoint: function (ifile, igrid, ipos, icolor) {
            call('JS2C_OnRightClickCrashPoint', [ifile, igrid, ipos, icolor]);
        }
    };

    var listeners = [];
    var webview = {
        hostObjects: { sync: { sample: sample } },
        addEventListener: function (type, listener) {
            if (type === 'message' && typeof listener === 'function') listeners.push(listener);
        },
        removeEventListener: function (type, listener) {
            var i = listeners.indexOf(listener);
            if (type === 'message' && i >= 0) listeners.splice(i, 1);
        },
        // A message of the page to the program (read by the program's flat
        // JSON reading rule).
        postMessage: function (message) {
            try {
                var x = new XMLHttpRequest();
                x.open('GET', base + '/message?m=' + encodeURIComponent(JSON.stringify(message)), true);
                x.send();
            } catch (e) {}
        }
    };
    // The program's side: a posted JSON text (never run as code) and a queued
    // callback.
    Object.defineProperty(webview, '__kinetta', { value: true });
    Object.defineProperty(webview, '__deliver', {
        value: function (text) {
            var data;
            try { data = JSON.parse(text); } catch (e) { return; }
            listeners.slice().forEach(function (listener) {
                try { listener({ data: data, source: webview }); } catch (e) {}
            });
        }
    });
    Object.defineProperty(webview, '__runCallback', {
        value: function (id) {
            var f = callbacks[id];
            delete callbacks[id];
            if (typeof f === 'function') {
                try { f(); } catch (e) {}
            }
        }
    });
    window.chrome = window.chrome || {};
    window.chrome.webview = webview;
})();
