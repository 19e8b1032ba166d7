// Injected by the app into every page of the preview, in a world of its own:
// the page's scripts see neither this code nor the channel back to the app.
// While Select is on, the element under the pointer is outlined and a click
// picks it; the page's own handlers of pointer events do not run. Web
// resources of the page that fail to load are reported too.
(function () {
    'use strict';
    if (window.__kestrionPicker) {
        return;
    }
    let bridge = null;
    const failedBeforeReady = [];
    new QWebChannel(qt.webChannelTransport, function (channel) {
        bridge = channel.objects.picker;
        for (const url of failedBeforeReady.splice(0)) {
            bridge.resourceFailed(url);
        }
    });

    // Web resources of the page's elements that failed to load (the app sees the site's own files itself).
    window.addEventListener('error', function (event) {
        const element = event.target;
        if (!element || element.nodeType !== 1) {
            return;
        }
        const url = String(element.currentSrc || element.src || element.href || '').slice(0, 2000);
        if (!/^https?:/i.test(url)) {
            return;
        }
        if (bridge) {
            bridge.resourceFailed(url);
        } else if (failedBeforeReady.length < 200) {
            failedBeforeReady.push(url);
        }
    }, true);
    let active = false;
    const outlines = new Map(); // document -> outline element
    const blocked = ['click', 'dblclick', 'auxclick', 'mousedown', 'mouseup', 'pointerdown', 'pointerup',
        'touchstart', 'touchend', 'contextmenu', 'submit'];

    function outlineFor(doc) {
        let box = outlines.get(doc);
        if (!box) {
            box = doc.createElement('div');
            box.style.cssText = 'position:fixed;pointer-events:none;z-index:2147483647;' +
                'outline:2px solid #2f6fe0;background:rgba(47,111,224,0.12);border-radius:2px;display:none';
            outlines.set(doc, box);
        }
        if (!box.isConnected) {
            doc.documentElement.appendChild(box);
        }
        return box;
    }

    function selectorOf(element) {
        const parts = [];
        for (let e = element; e && e.nodeType === 1; e = e.parentElement) {
            const tag = e.tagName.toLowerCase();
            if ((tag === 'body' || tag === 'html') && parts.length > 0) {
                break;
            }
            if (e.id) {
                parts.unshift(tag + '#' + CSS.escape(e.id));
                break;
            }
            let part = tag + Array.from(e.classList).slice(0, 3).map(c => '.' + CSS.escape(c)).join('');
            const parent = e.parentElement;
            if (parent) {
                const alike = Array.from(parent.children).filter(c => c.matches(part));
                if (alike.length > 1) {
                    const sameTag = Array.from(parent.children).filter(c => c.tagName === e.tagName);
                    part += ':nth-of-type(' + (sameTag.indexOf(e) + 1) + ')';
                }
            }
            parts.unshift(part);
            if (parts.length >= 4) {
                break;
            }
        }
        return parts.join(' > ');
    }

    function openingTag(element) {
        const shallow = element.cloneNode(false);
        const html = shallow.outerHTML;
        const close = html.lastIndexOf('</');
        return close > 0 ? html.slice(0, close) : html;
    }

    function stop(event) {
        if (!active) {
            return;
        }
        event.preventDefault();
        event.stopImmediatePropagation();
        // Only the user's own click picks: a page's script cannot fake one (its events are not trusted).
        if (event.type === 'click' && event.isTrusted && event.target && event.target.nodeType === 1) {
            const element = event.target;
            const doc = element.ownerDocument;
            if (bridge) {
                bridge.pick(doc.location.href, selectorOf(element), element.tagName.toLowerCase(),
                    openingTag(element).slice(0, 1000), (element.innerText || element.textContent || '').slice(0, 1000));
            }
        }
    }

    function hover(event) {
        if (!active || !event.target || event.target.nodeType !== 1) {
            return;
        }
        const doc = event.target.ownerDocument;
        const box = outlineFor(doc);
        const r = event.target.getBoundingClientRect();
        box.style.left = r.left + 'px';
        box.style.top = r.top + 'px';
        box.style.width = r.width + 'px';
        box.style.height = r.height + 'px';
        box.style.display = 'block';
    }

    // The page's frames of the site (same origin) are watched as well.
    const watched = new WeakSet();
    function watch(win) {
        let doc;
        try {
            doc = win && win.document;
        } catch (e) {
            return;
        }
        if (!doc) {
            return;
        }
        if (!watched.has(doc)) {
            watched.add(doc);
            for (const type of blocked) {
                win.addEventListener(type, stop, true);
            }
            win.addEventListener('mousemove', hover, true);
        }
        for (const frame of doc.querySelectorAll('iframe, frame')) {
            if (!watched.has(frame)) {
                watched.add(frame);
                frame.addEventListener('load', () => watch(frame.contentWindow));
            }
            watch(frame.contentWindow);
        }
    }

    window.__kestrionPicker = {
        setActive: function (on) {
            active = !!on;
            watch(window);
            if (!active) {
                for (const box of outlines.values()) {
                    box.remove();
                }
            }
        },
    };
    watch(window);
})();
