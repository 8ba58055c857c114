#include "core/places.h"

#include <QStandardPaths>
#include <atomic>

namespace Places {
namespace {
const Set kSystem;
std::atomic<const Set*> installed{&kSystem};
}  // namespace

void Install(const Set* places) { installed.store(places ? places : &kSystem); }

const Set& Current() { return *installed.load(); }

QString SettingsFolder() {
  const QString folder = Current().settingsFolder;
  if (!folder.isEmpty()) return folder;
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/Kelvara");
}

QString DeviceRoot() {
  const QString root = Current().deviceRoot;
  return root.isEmpty() ? QStringLiteral("/dev") : root;
}

Scoped::Scoped(Set places) : places_(std::move(places)), previous_(&Current()) { Install(&places_); }
Scoped::~Scoped() { Install(previous_); }

}  // namespace Places
