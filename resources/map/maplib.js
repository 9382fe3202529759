// kinetta's map library loader, served by the program with the tile server
// settings filled in: loads the built-in Leaflet (script and style sheet) and
// then calls the page's callback, as a map provider's script would.
(function () {
    var tiles = @TILES@;
    var callback = @CALLBACK@;
    var base = 'kinetta-map://map/leaflet/';
    window.kinettaTiles = tiles;
    var pending = 2;
    function done() {
        if (--pending > 0) return;
        L.Icon.Default.imagePath = base + 'images/';
        var f = window[callback];
        if (typeof f === 'function') f();
    }
    var css = document.getElementById('kinetta-leaflet-css');
    if (css) {
        pending--;
    } else {
        css = document.createElement('link');
        css.id = 'kinetta-leaflet-css';
        css.rel = 'stylesheet';
        css.href = base + 'leaflet.css';
        css.onload = done;
        css.onerror = done;
        document.head.appendChild(css);
    }
    if (typeof L !== 'undefined' && typeof L.map === 'function') {
        setTimeout(done, 0);
    } else {
        var s = document.createElement('script');
        s.src = base + 'leaflet.js';
        s.onload = done;
        document.head.appendChild(s);
    }
})();
