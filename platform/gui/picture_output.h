// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace kv {

// Where Print and Save take the main window's picture: the print and save dialogs, the
// printer and the bitmap writer.
class PictureOutput {
  public:
    virtual ~PictureOutput() = default;

    // Sets up a fresh print job in landscape without a page range and shows the print
    // dialog. The number of copies chosen, or nothing on cancel or error.
    virtual std::optional<int> chooseCopies() = 0;
    // Prints the window picture as the next page of the job; false on error.
    virtual bool printPage() = 0;
    // Ends the job and sends what was printed; false on error.
    virtual bool finish() = 0;

    // Shows the save dialog; the chosen path, or nothing on cancel or error.
    virtual std::optional<std::string> chooseSavePath() = 0;
    // Writes the window picture to the path as a BMP file, replacing any file there.
    virtual bool writePicture(const std::string& path) = 0;
};

}  // namespace kv
