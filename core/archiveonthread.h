// A worker thread's own archive connection: made there on first use, opened
// again when the place changes or the last call failed. It lives on the
// thread that uses it (moved there, deleted there).
#pragma once

#include <QObject>
#include <QString>
#include <memory>

#include "core/archive.h"

class ArchiveOnThread : public QObject {
 public:
  // The archive at `location`, or nullptr with the reason in *error (and
  // *gone set when there is no archive there). Reading never makes an
  // archive, nor a new one where the file went.
  Archive* Get(const QString& location, QString* error, bool* gone = nullptr) {
    if (archive_ && (location != location_ || !archive_->IsOpen() || archive_->Failed())) archive_.reset();
    if (!archive_) {
      auto archive = std::make_unique<Archive>();
      if (!archive->Open(location, Archive::OpenMode::ExistingOnly)) {
        *error = archive->Error();
        if (gone) *gone = archive->LastFault() == Archive::Fault::Gone;
        return nullptr;
      }
      archive_ = std::move(archive);
      location_ = location;
    }
    return archive_.get();
  }

 private:
  std::unique_ptr<Archive> archive_;
  QString location_;
};
