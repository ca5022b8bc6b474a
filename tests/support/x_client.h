// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv::test {

// A window's pixels as 0xRRGGBB.
struct WindowImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y * width + x)]; }
};

// A rectangle of pixels, inclusive; empty until a pixel is added.
struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    void add(int x, int y);
    bool empty() const { return right < 0; }
};

// The box around the pixels of this colour within `within`.
Box boxOf(const WindowImage& image, std::uint32_t colour, const Box& within);
// The plot box: the rows and columns that are mostly the background colour.
Box plotBoxOf(const WindowImage& image, std::uint32_t background);

// Talks to an X server as a person at its keyboard would: finds a window by its title,
// looks at it, types into it and asks it to close. Kept apart so Xlib's macros stay here.
class XClient {
  public:
    explicit XClient(const std::string& displayName);
    ~XClient();
    XClient(const XClient&) = delete;
    XClient& operator=(const XClient&) = delete;

    bool connected() const { return display_ != nullptr; }
    // The first viewable window with this title, or 0.
    unsigned long findWindow(const std::string& title);
    // The pixels the X server holds for the window (or the part of it given by `part`).
    std::optional<WindowImage> grab(unsigned long window, const std::optional<Box>& part = {});
    // Gives the window the keyboard focus and presses and releases the key (e.g. "F1", or a
    // chord such as "Alt_L+t"); with window 0 the key goes where the keyboard is now (an open
    // menu holds it).
    bool pressKey(unsigned long window, const std::string& keyName);
    // A popup (a menu) is open on the screen.
    bool popupShown() { return popup() != 0; }
    // The popup open on the screen, or 0.
    unsigned long popup();
    // Clicks the first mouse button at a point of the window.
    void click(unsigned long window, int x, int y);
    // Puts a window of one colour over the given one, and takes it away again.
    unsigned long cover(unsigned long window, std::uint32_t colour);
    void uncover(unsigned long cover);
    // What the window manager's close button does.
    void requestClose(unsigned long window);

  private:
    void* display_ = nullptr;
};

}  // namespace kv::test
