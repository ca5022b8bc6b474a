#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kv::test {

// A window's pixels as 0xRRGGBB, row by row; empty when it could not be read.
struct WindowImage {
    int width = 0;
    std::vector<std::uint32_t> pixels;
};

// Talks to an X server as a person at its keyboard would: finds a window by its title, looks
// at it, types into it and asks it to close. Kept apart so that Xlib's macros stay here.
class XClient {
  public:
    explicit XClient(const std::string& displayName);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool connected() const { return display_ != nullptr; }
    // The first viewable window with this title, or 0.
    unsigned long findWindow(const std::string& title);
    WindowImage grab(unsigned long window);
    // Gives the window the keyboard focus and presses and releases the key (e.g. "F1").
    void pressKey(unsigned long window, const std::string& keyName);
    // What the window manager's close button does.
    void requestClose(unsigned long window);

  private:
    void* display_ = nullptr;
};

}  // namespace kv::test
