#include "x_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

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

XClient::XClient(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {}

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

std::optional<WindowImage> XClient::grab(unsigned long window) {
    ::Display* d = dpy(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(d, window, &attributes)) return std::nullopt;
    XImage* image = XGetImage(d, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return std::nullopt;
    WindowImage out;
    out.width = attributes.width;
    out.height = attributes.height;
    out.pixels.reserve(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return out;
}

bool XClient::pressKey(unsigned long window, const std::string& keyName) {
    ::Display* d = dpy(display_);
    const KeySym sym = XStringToKeysym(keyName.c_str());
    const KeyCode code = XKeysymToKeycode(d, sym);
    if (sym == NoSymbol || code == 0) return false;
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XSync(d, False);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
    XSync(d, False);
    return true;
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
