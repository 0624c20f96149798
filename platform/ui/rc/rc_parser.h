// Parses the resource statements a module's .rc file uses: DIALOG/DIALOGEX with text, button
// and generic controls, BITMAP, ICON and VERSIONINFO.
#pragma once

#include "rc_lexer.h"
#include "rc_model.h"

namespace rcgen {

// Throws Failure with "file:line: message" on bad input.
Script parseScript(Lexer& lexer, const std::string& path);

}  // namespace rcgen
