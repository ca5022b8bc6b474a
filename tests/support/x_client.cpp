// SPDX-License-Identifier: GPL-3.0-or-later
#include "x_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <cstring>
#include <functional>

namespace kv::test {

namespace {
::Display* dpy(void* d) {
    return static_cast<::Display*>(d);
}

std::string windowTitle(::Display* d, Window w) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(d, w, &name) && name) title = name;
    if (name) XFree(name);
    return title;
}
}  // namespace

void Box::add(int x, int y) {
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x);
    bottom = std::max(bottom, y);
}

Box boxOf(const WindowImage& image, std::uint32_t colour, const Box& within) {
    Box box;
    for (int y = within.top; y <= within.bottom; ++y)
        for (int x = within.left; x <= within.right; ++x)
            if (image.at(x, y) == colour) box.add(x, y);
    return box;
}

Box plotBoxOf(const WindowImage& image, std::uint32_t background) {
    Box box;
    std::vector<int> rows(static_cast<std::size_t>(image.height));
    std::vector<int> columns(static_cast<std::size_t>(image.width));
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y) == background) ++rows[std::size_t(y)], ++columns[std::size_t(x)];
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (rows[std::size_t(y)] > image.width / 3 &&
                columns[std::size_t(x)] > image.height / 3)
                box.add(x, y);
    return box;
}

XClient::XClient(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {
    // A window may go between finding it and looking at it (a menu closing, a program ending):
    // the call then fails and says so, instead of Xlib ending the test.
    XSetErrorHandler([](::Display*, XErrorEvent*) { return 0; });
}

XClient::~XClient() {
    if (display_) XCloseDisplay(dpy(display_));
}

unsigned long XClient::findWindow(const std::string& title) {
    ::Display* d = dpy(display_);
    std::function<Window(Window)> search = [&](Window w) -> Window {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(d, w, &attributes) && attributes.map_state == IsViewable &&
            windowTitle(d, w) == title)
            return w;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        Window found = 0;
        if (XQueryTree(d, w, &root, &parent, &children, &count)) {
            for (unsigned int i = 0; i < count && !found; ++i) found = search(children[i]);
            if (children) XFree(children);
        }
        return found;
    };
    return search(DefaultRootWindow(d));
}

std::optional<WindowImage> XClient::grab(unsigned long window, const std::optional<Box>& part) {
    ::Display* d = dpy(display_);
    Box area;
    if (part) {
        area = *part;
    } else {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, window, &attributes)) return std::nullopt;
        area = {0, 0, attributes.width - 1, attributes.height - 1};
    }
    WindowImage out;
    out.width = area.right - area.left + 1;
    out.height = area.bottom - area.top + 1;
    if (out.width <= 0 || out.height <= 0) return std::nullopt;
    XImage* image = XGetImage(d, window, area.left, area.top, static_cast<unsigned>(out.width),
                              static_cast<unsigned>(out.height), AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    out.pixels.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    const bool direct = image->bits_per_pixel == 32 && image->byte_order == LSBFirst;
    for (int y = 0; y < out.height; ++y) {
        const auto* row = image->data + static_cast<std::ptrdiff_t>(y) * image->bytes_per_line;
        for (int x = 0; x < out.width; ++x) {
            // Reading the 32-bit rows directly is many times faster than XGetPixel, which
            // matters to whoever grabs in a tight loop.
            std::uint32_t pixel = 0;
            if (direct)
                std::memcpy(&pixel, row + static_cast<std::ptrdiff_t>(x) * 4, 4);
            else
                pixel = static_cast<std::uint32_t>(XGetPixel(image, x, y));
            out.pixels.push_back(pixel & 0xFFFFFF);
        }
    }
    XDestroyImage(image);
    return out;
}

bool XClient::pressKey(unsigned long window, const std::string& keyName) {
    ::Display* d = dpy(display_);
    std::vector<KeyCode> chord;
    std::size_t from = 0;
    for (std::size_t plus = 0; plus != std::string::npos; from = plus + 1) {
        plus = keyName.find('+', from);
        const KeySym sym = XStringToKeysym(keyName.substr(from, plus - from).c_str());
        chord.push_back(sym == NoSymbol ? 0 : XKeysymToKeycode(d, sym));
        if (chord.back() == 0) return false;
    }
    if (window) XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
    for (const KeyCode code : chord) XTestFakeKeyEvent(d, code, True, CurrentTime);
    for (auto it = chord.rbegin(); it != chord.rend(); ++it)
        XTestFakeKeyEvent(d, *it, False, CurrentTime);
    XSync(d, False);
    return true;
}

unsigned long XClient::popup() {
    ::Display* d = dpy(display_);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    Window shown = 0;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !shown; ++i) {
            XWindowAttributes a;
            if (XGetWindowAttributes(d, children[i], &a) && a.override_redirect &&
                a.map_state == IsViewable)
                shown = children[i];
        }
        if (children) XFree(children);
    }
    return shown;
}

void XClient::click(unsigned long window, int x, int y) {
    ::Display* d = dpy(display_);
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, -1, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

unsigned long XClient::cover(unsigned long window, std::uint32_t colour) {
    ::Display* d = dpy(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes)) return 0;
    int rootX = 0, rootY = 0;
    Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &rootX, &rootY, &child);
    XSetWindowAttributes set{};
    set.override_redirect = True;
    set.background_pixel = colour;
    const Window c = XCreateWindow(
        d, DefaultRootWindow(d), rootX, rootY, static_cast<unsigned>(attributes.width),
        static_cast<unsigned>(attributes.height), 0, CopyFromParent, InputOutput, CopyFromParent,
        CWOverrideRedirect | CWBackPixel, &set);
    XMapRaised(d, c);
    XSync(d, False);
    return c;
}

void XClient::uncover(unsigned long cover) {
    ::Display* d = dpy(display_);
    XDestroyWindow(d, cover);
    XSync(d, False);
}

void XClient::requestClose(unsigned long window) {
    ::Display* d = dpy(display_);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, window, False, NoEventMask, &event);
    XSync(d, False);
}

}  // namespace kv::test
