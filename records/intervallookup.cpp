#include "records/intervallookup.h"

#include <QThread>
#include <memory>

#include "core/archive.h"

namespace {

// The thread's archive connection, opened again when the place changes or
// the last read failed; reading never makes an archive.
class Reader : public QObject {
 public:
  IntervalLookup::Intervals Read(const QString& location, const QString& customer) {
    IntervalLookup::Intervals intervals;
    if (archive_ && (location != location_ || !archive_->IsOpen() || archive_->Failed())) archive_.reset();
    if (!archive_) {
      auto archive = std::make_unique<Archive>();
      if (!archive->Open(location, Archive::OpenMode::ExistingOnly)) return intervals;
      archive_ = std::move(archive);
      location_ = location;
    }
    for (const ArchiveData::Appliance& a : archive_->Appliances(customer))
      if (a.IntervalMonths > 0) intervals[IntervalLookup::Key(a.InventarNr)] = a.IntervalMonths;
    return intervals;
  }

 private:
  std::unique_ptr<Archive> archive_;
  QString location_;
};

}  // namespace

IntervalLookup::IntervalLookup(QObject* parent) : QObject(parent) {
  thread_ = new QThread(this);
  thread_->setObjectName(QStringLiteral("interval-lookup"));
  context_ = new Reader;
  context_->moveToThread(thread_);
  connect(thread_, &QThread::finished, context_, &QObject::deleteLater);
  thread_->start();
}

IntervalLookup::~IntervalLookup() {
  thread_->quit();
  thread_->wait();
}

void IntervalLookup::Request(const QString& location, const QString& customer,
                             std::function<void(const Intervals&)> done) {
  const int mine = ++sequence_;
  ++waiting_;
  auto* reader = static_cast<Reader*>(context_);
  QMetaObject::invokeMethod(reader, [this, reader, location, customer, done, mine] {
    const Intervals intervals = reader->Read(location, customer);
    QMetaObject::invokeMethod(this, [this, intervals, done, mine] {
      --waiting_;
      if (mine == sequence_) done(intervals);
    }, Qt::QueuedConnection);
  }, Qt::QueuedConnection);
}
