#include "x_client.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

namespace kv::test {

namespace {
::Display* dpy(void* d) {
    return static_cast<::Display*>(d);
}
}  // namespace

XClient::XClient(const std::string& displayName) : display_(XOpenDisplay(displayName.c_str())) {}

XClient::~XClient() {
    if (display_) XCloseDisplay(dpy(display_));
}

unsigned long XClient::findWindow(const std::string& title) {
    // With no window manager, the program's windows are the root window's children.
    ::Display* d = dpy(display_);
    Window root = 0, parent = 0, found = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return 0;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes a;
        char* name = nullptr;
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
            XFetchName(d, children[i], &name) && name && title == name)
            found = children[i];
        if (name) XFree(name);
    }
    if (children) XFree(children);
    return found;
}

WindowImage XClient::grab(unsigned long window) {
    ::Display* d = dpy(display_);
    XWindowAttributes a;
    XImage* image = XGetWindowAttributes(d, window, &a)
                        ? XGetImage(d, window, 0, 0, static_cast<unsigned>(a.width),
                                    static_cast<unsigned>(a.height), AllPlanes, ZPixmap)
                        : nullptr;
    WindowImage out;
    if (!image) return out;
    out.width = a.width;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            out.pixels.push_back(static_cast<std::uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
    XDestroyImage(image);
    return out;
}

void XClient::pressKey(unsigned long window, const std::string& keyName) {
    ::Display* d = dpy(display_);
    const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keyName.c_str()));
    XSetInputFocus(d, window, RevertToParent, CurrentTime);
    XTestFakeKeyEvent(d, code, True, CurrentTime);
    XTestFakeKeyEvent(d, code, False, CurrentTime);
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
    XSendEvent(d, window, False, NoEventMask, &event);
    XSync(d, False);
}

}  // namespace kv::test
