#pragma once
// Where the file dialogs start: the user's documents folder the first time,
// then the folder last used, remembered across runs in the user's settings
// file (kelvara.ini in the settings folder of Places: "Kelvara" in the XDG
// config folder unless a test installed another).
#include <QString>

namespace UserFolders {

// The settings file of the user.
QString SettingsFile();
// The folder a file dialog starts in.
QString StartFolder();
// Remembers the folder of a chosen file (or a folder itself) for the next dialog.
void Remember(const QString& path);

}  // namespace UserFolders

// Other settings of the user in the same file (the record list's size, ...).
namespace UserSettings {
QString Value(const QString& section, const QString& key);
void SetValue(const QString& section, const QString& key, const QString& value);
}  // namespace UserSettings
