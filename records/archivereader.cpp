#include "records/archivereader.h"

#include <QPointer>
#include <QThread>
#include <memory>

#include "core/archive.h"
#include "core/archiveonthread.h"
#include "core/archiveservice.h"

namespace {

class Connection : public ArchiveOnThread {};

}  // namespace

ArchiveReader::ArchiveReader(ArchiveService& service, QObject* parent) : QObject(parent), service_(service) {
  thread_ = new QThread(this);
  thread_->setObjectName(QStringLiteral("archive-reader"));
  context_ = new Connection;
  context_->moveToThread(thread_);
  connect(thread_, &QThread::finished, context_, &QObject::deleteLater);
  thread_->start();
}

ArchiveReader::~ArchiveReader() {
  thread_->quit();
  thread_->wait();
}

void ArchiveReader::Run(std::function<void(Archive&, const Post&)> job, std::function<void(const QString&)> done) {
  ++pending_;
  const QString location = service_.Location();
  auto* connection = static_cast<Connection*>(context_);
  QPointer<ArchiveReader> self(this);
  QMetaObject::invokeMethod(connection, [self, connection, location, job, done] {
    // What the job hands back, in its order, on the owner's thread.
    const Post post = [self](std::function<void()> answer) {
      if (!self) return;
      QMetaObject::invokeMethod(self.data(), [answer] { answer(); }, Qt::QueuedConnection);
    };
    QString error;
    if (Archive* archive = connection->Get(location, &error)) {
      job(*archive, post);
      if (archive->Failed()) error = archive->Error();
    }
    if (!self) return;
    QMetaObject::invokeMethod(self.data(), [self, done, error] {
      --self->pending_;
      done(error);
    }, Qt::QueuedConnection);
  }, Qt::QueuedConnection);
}
