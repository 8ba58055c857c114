#pragma once
// Test labels as pages: one label a page for a label printer's labels and
// tapes, or the positions of a sheet of labels. The same drawing goes into a
// PDF file (written complete and renamed into place, as the reports are), onto
// a printer (the windows' print job passes its printer as the paged device),
// and into the images of the preview.
#include <QImage>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "core/label.h"
#include "render/labelpaint.h"

class QPainter;
class QPagedPaintDevice;

namespace LabelDoc {

// What to print: the labels, their format, code and first sheet position.
struct Job {
  std::vector<Labels::LabelData> labels;
  Labels::Format format;
  LabelPaint::Options options;
  int start = 1;  // the first free position of a sheet used before
};

// The page of the job's format, in the orientation the label is read.
QPageLayout PageLayout(const Labels::Format& format);

// The labels that cannot be printed as they are, one line each
// ("„INV-0001“: <why>"); empty when every label fits its format.
QStringList Problems(const Job& job);

// Called after each label with the number done; false cancels.
using Progress = std::function<bool(int done)>;

struct Result {
  bool ok = true;
  bool canceled = false;
  int labels = 0;  // labels drawn
  int pages = 0;
  bool saveFailed = false;  // the file could not be written (a full disk, no permission)
  QString error;   // German: what was not done and why
};

// Draws the job onto the device's pages (newPage between them); the painter
// is active on `device`, whose page is the job's page layout, origin at the
// paper's corner. Labels that do not fit are left out and named in the
// result (nothing is drawn cut off).
Result Draw(QPainter& painter, QPagedPaintDevice& device, const Job& job, const Progress& progress = nullptr);

// The job as one PDF at `path`, written whole and renamed into place; an
// older file of that name stays as it was when it cannot be written.
Result WritePdf(const Job& job, const QString& path, const Progress& progress = nullptr);
// The same into memory.
Result DrawPdf(const Job& job, QByteArray* pdf, const Progress& progress = nullptr);

// Page `page` (from 0) as an image of `dpi` dots per inch, white paper; the
// sheet's label outlines in light grey so the positions show.
QImage RenderPage(const Job& job, int page, double dpi, bool outlines = true);
int PageCount(const Job& job);

}  // namespace LabelDoc
