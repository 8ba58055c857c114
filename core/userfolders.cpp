#include "core/userfolders.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "core/places.h"
#include "core/profile.h"

namespace UserFolders {
namespace {
const QString kSection = QStringLiteral("Dateien");
const QString kKey = QStringLiteral("ZuletztVerwendeterOrdner");
}  // namespace

QString SettingsFile() { return Places::SettingsFolder() + QStringLiteral("/kelvara.ini"); }

QString StartFolder() {
  TProfile settings(kSection, SettingsFile());
  const QString last = settings.GetString(kKey, 4096);
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
  return QDir::homePath();
}

void Remember(const QString& path) {
  const QFileInfo info(path);
  const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
  if (folder.isEmpty()) return;
  QDir().mkpath(QFileInfo(SettingsFile()).absolutePath());
  TProfile settings(kSection, SettingsFile());
  if (settings.GetString(kKey, 4096) == folder) return;
  // A folder name that the file's code page cannot hold is simply not remembered.
  if (settings.WriteString(kKey, folder)) settings.Flush();
}

}  // namespace UserFolders

namespace UserSettings {

QString Value(const QString& section, const QString& key) {
  return TProfile(section, UserFolders::SettingsFile()).GetString(key, 4096);
}

void SetValue(const QString& section, const QString& key, const QString& value) {
  QDir().mkpath(QFileInfo(UserFolders::SettingsFile()).absolutePath());
  TProfile settings(section, UserFolders::SettingsFile());
  if (settings.GetString(key, 4096) == value) return;
  if (settings.WriteString(key, value)) settings.Flush();
}

}  // namespace UserSettings
