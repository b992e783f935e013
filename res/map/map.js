// The map pages' shared script: one map in "map-canvas" with one position marker and the
// open recording's route, its driven part in a second colour.
//
// Leaflet draws the map from the configured tile server and needs nothing else from the
// network; Google and Baidu maps load their provider's script with the configured key.
// The viewer calls DrawCurrent, DrawRoute and DrawDriven; MapState tells what is drawn.
(function () {
    'use strict';

    var ROUTE_COLOUR = '#1f5fff';
    var DRIVEN_COLOUR = '#ff2a1a';
    var LINE_WEIGHT = 5;
    // The camera's home: the marker waits here for the first fix.
    var START = {latitude: 37.5660483, longitude: 126.9779299};

    var state = {
        library: 'none',
        view: null,  // the library's map, once made
        marker: [START.latitude, START.longitude],
        route: [],  // [[latitude, longitude], ...]
        driven: 0,
    };

    // A written page carries its settings; a navigated one has them in its fragment.
    function readSettings(given) {
        if (given) {
            return given;
        }
        try {
            return JSON.parse(decodeURIComponent(location.hash.substring(1)));
        } catch (e) {
            return {};
        }
    }

    function escapeHtml(text) {
        var entities = {'&': '&amp;', '<': '&lt;', '>': '&gt;', '"': '&quot;', "'": '&#39;'};
        return String(text).replace(/[&<>"']/g, function (c) {
            return entities[c];
        });
    }

    // The element is made, never parsed from text, and the key is URL-encoded: a key
    // cannot add markup or script.
    function loadScript(url) {
        var script = document.createElement('script');
        script.src = url;
        script.async = true;
        document.head.appendChild(script);
    }

    function coordinate(value, limit) {
        if (typeof value === 'number') {
            return isFinite(value) && Math.abs(value) <= limit ? value : null;
        }
        var text = String(value).trim();
        if (!/^[-+]?[0-9]+(\.[0-9]+)?$/.test(text)) {
            return null;
        }
        var number = Number(text);
        return isFinite(number) && Math.abs(number) <= limit ? number : null;
    }

    var libraries = {
        leaflet: {
            load: function (settings, ready) {
                ready();
            },
            create: function (canvas, options, settings) {
                var map = L.map(canvas, {attributionControl: false, zoomControl: false});
                map.setView([options.latitude, options.longitude], options.zoom);
                L.control.zoom({position: options.controls ? 'bottomright' : 'topleft'}).addTo(map);
                var attribution = L.control.attribution({prefix: false}).addTo(map);
                if (settings.attribution) {
                    // Leaflet shows attributions as markup; ours is text.
                    attribution.addAttribution(escapeHtml(settings.attribution));
                }
                L.tileLayer(settings.tiles, {maxZoom: 19}).addTo(map);
                var route = L.polyline([], {color: ROUTE_COLOUR, weight: LINE_WEIGHT, opacity: 0.85}).addTo(map);
                var driven = L.polyline([], {color: DRIVEN_COLOUR, weight: LINE_WEIGHT, opacity: 0.95}).addTo(map);
                var marker = L.marker([options.latitude, options.longitude]).addTo(map);
                return {
                    moveMarker: function (lat, lon) {
                        marker.setLatLng([lat, lon]);
                        map.panTo([lat, lon]);
                    },
                    setRoute: function (points) {
                        route.setLatLngs(points);
                    },
                    setDriven: function (points) {
                        driven.setLatLngs(points);
                    },
                };
            },
        },
        google: {
            load: function (settings, ready) {
                window.MapPageGoogleReady = ready;
                loadScript('https://maps.googleapis.com/maps/api/js?v=3.exp&sensor=false&key=' +
                           encodeURIComponent(settings.key) + '&callback=MapPageGoogleReady');
            },
            create: function (canvas, options) {
                var g = google.maps;
                var centre = new g.LatLng(options.latitude, options.longitude);
                var map = new g.Map(canvas, {zoom: options.zoom, center: centre, mapTypeId: g.MapTypeId.ROADMAP});
                function line(colour) {
                    return new g.Polyline({map: map, path: [], strokeColor: colour, strokeWeight: LINE_WEIGHT});
                }
                function path(points) {
                    return points.map(function (p) {
                        return new g.LatLng(p[0], p[1]);
                    });
                }
                var route = line(ROUTE_COLOUR);
                var driven = line(DRIVEN_COLOUR);
                var marker = new g.Marker({position: centre, map: map});
                return {
                    moveMarker: function (lat, lon) {
                        var p = new g.LatLng(lat, lon);
                        marker.setPosition(p);
                        map.panTo(p);
                    },
                    setRoute: function (points) {
                        route.setPath(path(points));
                    },
                    setDriven: function (points) {
                        driven.setPath(path(points));
                    },
                };
            },
        },
        baidu: {
            load: function (settings, ready) {
                window.MapPageBaiduReady = ready;
                loadScript('https://api.map.baidu.com/api?v=2.0&ak=' + encodeURIComponent(settings.key) +
                           '&callback=MapPageBaiduReady');
            },
            create: function (canvas, options) {
                function point(lat, lon) {
                    return new BMap.Point(lon, lat);
                }
                function path(points) {
                    return points.map(function (p) {
                        return point(p[0], p[1]);
                    });
                }
                var map = new BMap.Map(canvas);
                map.enableScrollWheelZoom();
                map.centerAndZoom(point(options.latitude, options.longitude), options.zoom);
                map.addControl(new BMap.MapTypeControl({anchor: BMAP_ANCHOR_TOP_LEFT}));
                map.addControl(new BMap.NavigationControl(
                    {anchor: BMAP_ANCHOR_BOTTOM_RIGHT, type: BMAP_NAVIGATION_CONTROL_SMALL}));
                var lines = {};
                function setLine(name, colour, points) {
                    if (lines[name]) {
                        map.removeOverlay(lines[name]);
                        delete lines[name];
                    }
                    if (points.length > 0) {
                        lines[name] = new BMap.Polyline(path(points), {strokeColor: colour, strokeWeight: LINE_WEIGHT});
                        map.addOverlay(lines[name]);
                    }
                }
                var marker = new BMap.Marker(point(options.latitude, options.longitude));
                map.addOverlay(marker);
                return {
                    // Keeps the zoom; only the marker and the centre move.
                    moveMarker: function (lat, lon) {
                        marker.setPosition(point(lat, lon));
                        map.setCenter(point(lat, lon));
                    },
                    setRoute: function (points) {
                        setLine('route', ROUTE_COLOUR, points);
                    },
                    setDriven: function (points) {
                        setLine('driven', DRIVEN_COLOUR, points);
                    },
                };
            },
        },
    };

    function drawRoute() {
        if (state.view) {
            state.view.setRoute(state.route);
            state.view.setDriven(state.route.slice(0, state.driven));
        }
    }

    // x the latitude and y the longitude in decimal degrees, as strings. Anything that is
    // not a position on the earth leaves the marker where it is.
    window.DrawCurrent = function (x, y) {
        try {
            var lat = coordinate(x, 90);
            var lon = coordinate(y, 180);
            if (lat === null || lon === null || !state.view) {
                return;
            }
            state.view.moveMarker(lat, lon);
            state.marker = [lat, lon];
        } catch (e) {
            // The page stays as it was.
        }
    };

    // The recording's track as [[latitude, longitude], ...]; nothing is driven yet.
    window.DrawRoute = function (points) {
        try {
            var route = [];
            (Array.isArray(points) ? points : []).forEach(function (p) {
                if (Array.isArray(p) && p.length >= 2) {
                    var lat = coordinate(p[0], 90);
                    var lon = coordinate(p[1], 180);
                    if (lat !== null && lon !== null) {
                        route.push([lat, lon]);
                    }
                }
            });
            state.route = route;
            state.driven = 0;
            drawRoute();
        } catch (e) {
            // The page stays as it was.
        }
    };

    // The first count points of the route have been driven.
    window.DrawDriven = function (count) {
        var n = parseInt(count, 10);
        if (isNaN(n)) {
            return;
        }
        state.driven = Math.max(0, Math.min(n, state.route.length));
        if (state.view) {
            state.view.setDriven(state.route.slice(0, state.driven));
        }
    };

    window.MapState = function () {
        return JSON.stringify({
            ready: state.view !== null,
            library: state.library,
            marker: state.marker,
            route: state.route.length,
            driven: state.driven,
            title: document.title,
        });
    };

    window.MapPage = {
        // options: zoom, and optionally latitude, longitude, settings, controls.
        start: function (options) {
            var settings = readSettings(options.settings);
            var view = {
                zoom: options.zoom,
                latitude: options.latitude === undefined ? START.latitude : options.latitude,
                longitude: options.longitude === undefined ? START.longitude : options.longitude,
                controls: !!options.controls,
            };
            state.marker = [view.latitude, view.longitude];
            var library = libraries.hasOwnProperty(settings.library) ? libraries[settings.library] : null;
            if (library) {
                state.library = settings.library;
                library.load(settings, function () {
                    try {
                        state.view = library.create(document.getElementById('map-canvas'), view, settings);
                        drawRoute();
                    } catch (e) {
                        console.error('map: ' + e);
                    }
                });
            }
            // The viewer's calls may come from now on.
            console.log('map:ready');
        },
    };
})();
