// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kv {

// Where Print and Save take the main window's picture: the print and save dialogs, the
// printer and the bitmap writer.
class PictureOutput {
  public:
    virtual ~PictureOutput() = default;

    // Sets up a fresh print job in landscape without a page range and shows the print
    // dialog; answers the number of copies chosen, or nothing on cancel or error.
    virtual void chooseCopies(std::function<void(std::optional<int>)> chosen) = 0;
    // Prints the window picture as the next page of the job; false on error.
    virtual bool printPage() = 0;
    // Ends the job and sends what was printed; false on error.
    virtual bool finish() = 0;

    // Shows the save dialog; answers the chosen path, or nothing on cancel or error.
    virtual void chooseSavePath(std::function<void(std::optional<std::string>)> chosen) = 0;
    // Writes the window picture to the path as a BMP file, replacing any file there only once
    // the new one is whole. Nothing, or why it could not be written.
    virtual std::optional<std::string> writePicture(const std::string& path) = 0;
};

}  // namespace kv
