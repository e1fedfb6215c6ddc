// SPDX-License-Identifier: MIT
// Saving a received disk: the save dialog, the ".opd" extension rule, the
// question before an existing file is replaced, and the write.
#pragma once

#include <string>

namespace talvi::app {

// The extension of `name`: what follows the last "." of its file-name part,
// trimmed; "" when there is none.
std::string CFILEEXT(const std::string& name);

// The folder the save dialog opens in: the current folder, written with the
// drive letter where the system has drives, in the program's text (1252);
// "" when its name holds a character that 1252 cannot.
std::string InitialDirectory();

// Asks where to save `image`, asks before replacing an existing file, and
// writes the file. A file that cannot be written is reported and the
// question asked again; cancel discards the image. When a file was written
// `image` holds exactly its bytes.
void SAVE(std::string& image);

// The texts the user sees.
std::string OverwriteQuestion(const std::string& name);
std::string WriteFailedMessage(const std::string& name);

}  // namespace talvi::app
