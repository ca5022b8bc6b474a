// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

class QDialog;
class QWidget;

namespace kv {

// Help → Keys and Mouse: the key table of input/ in a dialog. Not modal; deleted when closed.
QDialog* makeKeysDialog(QWidget* parent);
// Help → About: the program's version, its licence and where its settings are kept. Nothing
// goes to the radio for it. Not modal; deleted when closed.
QDialog* makeAboutDialog(const std::string& settingsLocation, QWidget* parent);

}  // namespace kv
