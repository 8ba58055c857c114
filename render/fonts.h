#pragma once
// Font set-up: the template fonts of the original Windows look are mapped to
// metric-compatible fonts that Debian ships.
#include <QFont>

namespace Fonts {
// Registers the substitutions ("MS Sans Serif" -> Liberation Sans, ...). Idempotent.
void InstallSubstitutions();
// The dialog font of the templates: "MS Sans Serif" 8 pt.
QFont DialogFont();
// The system's fixed-pitch ANSI font (the communication log).
QFont FixedFont();
// The system's variable-pitch ANSI font (the report form's edits and buttons).
QFont VariableFont();
}  // namespace Fonts
