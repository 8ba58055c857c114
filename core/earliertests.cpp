#include "core/earliertests.h"

#include "core/archiveonthread.h"

#include <QThread>

class EarlierTests::Reader : public ArchiveOnThread {};

EarlierTests::EarlierTests(QObject* parent) : QObject(parent) {
  thread_ = new QThread(this);
  thread_->setObjectName(QStringLiteral("earlier-tests"));
  reader_ = new Reader;
  reader_->moveToThread(thread_);
  connect(thread_, &QThread::finished, reader_, &QObject::deleteLater);
  thread_->start();
}

EarlierTests::~EarlierTests() {
  thread_->quit();
  thread_->wait();
}

void EarlierTests::Request(const QString& location, const std::vector<Key>& keys, int channel,
                           std::function<void(const Result&)> done) {
  if (channel < 0) channel = 0;
  if (size_t(channel) >= sequence_.size()) sequence_.resize(size_t(channel) + 1, 0);
  const int mine = ++sequence_[size_t(channel)];
  ++waiting_;
  Reader* reader = reader_;
  QMetaObject::invokeMethod(
      reader,
      [this, reader, location, keys, channel, mine, done] {
        Result result;
        if (Archive* archive = reader->Get(location, &result.error, &result.noArchive)) {
          for (const Key& key : keys) {
            Answer answer{key, archive->EarlierTest(key.customer, key.inventarNr, key.before)};
            if (archive->Failed()) {
              result.failed = true;
              result.error = archive->Error();
              result.answers.clear();
              break;
            }
            result.answers.push_back(answer);
          }
        } else {
          result.failed = true;
        }
        // This object lives until the thread has stopped, so it is there to
        // take the answer.
        QMetaObject::invokeMethod(
            this,
            [this, result, channel, mine, done] {
              --waiting_;
              if (mine == sequence_[size_t(channel)]) done(result);
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
}
