#pragma once
// The test intervals the archive knows for a customer's appliances, read on a
// thread of its own with its own archive connection (the window never waits
// for the archive). The record list asks when its customer changes and gives
// each row the interval of its appliance.
#include <QObject>
#include <QString>
#include <functional>
#include <map>

class QThread;

class IntervalLookup : public QObject {
 public:
  // Inventar-Nr. (simplified, case folded) -> months.
  using Intervals = std::map<QString, int>;

  explicit IntervalLookup(QObject* parent = nullptr);
  ~IntervalLookup() override;

  // Reads the intervals of `customer`'s appliances from the archive at
  // `location`; `done` runs on this object's thread with them, unless a newer
  // request came in between. An archive that cannot be read gives none (the
  // reports then take the default interval).
  void Request(const QString& location, const QString& customer, std::function<void(const Intervals&)> done);
  bool Busy() const { return waiting_ > 0; }
  static QString Key(const QString& inventarNr) { return inventarNr.simplified().toCaseFolded(); }

 private:
  QThread* thread_ = nullptr;
  QObject* context_ = nullptr;  // lives on thread_, owns its archive
  int sequence_ = 0, waiting_ = 0;
};
