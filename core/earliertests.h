#pragma once
// The earlier tests of appliances, looked up off the window's thread: the
// report form and the record list ask for the previous test of the
// appliances they show (and the cord the archive knows for them), and get
// the answers on their own thread when they come. The lookups run one after
// another on a thread of their own with an archive connection of its own,
// which never makes an archive. A slow or frozen archive only delays the
// answers.
#include <QDate>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "core/archive.h"

class QThread;

class EarlierTests : public QObject {
  Q_OBJECT
 public:
  explicit EarlierTests(QObject* parent = nullptr);
  ~EarlierTests() override;

  struct Key {
    QString customer, inventarNr;
    QDate before;  // the test date of the report: tests before it count
  };
  struct Answer {
    Key key;
    Archive::Earlier earlier;
  };
  struct Result {
    std::vector<Answer> answers;  // one per key asked, in order (empty when the archive failed)
    bool failed = false;
    QString error;  // why the archive could not answer (German)
    // No archive there (yet): nothing was ever stored, so there is nothing earlier.
    bool noArchive = false;
  };
  // Asks the archive at `location` for the earlier tests of `keys`; `done`
  // runs on this object's thread. An answer of an older request that a newer
  // one of the same `channel` overtook is not delivered.
  void Request(const QString& location, const std::vector<Key>& keys, int channel, std::function<void(const Result&)> done);
  // True while answers are awaited.
  bool Busy() const { return waiting_ > 0; }

 private:
  class Reader;
  QThread* thread_ = nullptr;
  Reader* reader_ = nullptr;  // lives on thread_
  std::vector<int> sequence_;
  int waiting_ = 0;
};
