// The form's page rendering and its printing commands: the page drawing runs
// over a Surface for the screen, the printer and the preview alike.
#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPaintEvent>

#include "device/TMessgeraet.h"
#include "report/TFormular.h"
#include "render/page.h"
#include "report/printing.h"
#include "render/surface.h"

namespace {

// Texts of the rows the device window has no controls for (and of every row
// when there is no device window).
const char* const kRowNames[kRowCount] = {"R-PE", "R-ISO", "I-ABL", "I-EA", "IB", "UB", "TA", "IA"};
const char* const kRowUnits[kRowCount] = {"Ohm", "MOhm", "mA", "mA", "", "", "", ""};

// The text of a device window static, read as at most 298 characters.
QString StaticText(const std::array<QLabel*, 4>& statics, int row) {
  if (row < 0 || row >= int(statics.size()) || !statics[row]) return QString();
  return statics[row]->text().left(298);
}

}  // namespace

Page::Input TFormular::PageInput() const {
  Page::RowTexts texts;
  for (int r = 0; r < kRowCount; ++r) {
    if (DeviceWindow && r < 4) {
      texts.label[r] = StaticText(DeviceWindow->LabelStatic, r);
      texts.method[r] = StaticText(DeviceWindow->MethodStatic, r);
      texts.unit[r] = StaticText(DeviceWindow->UnitStatic, r);
    } else {
      texts.label[r] = QString::fromLatin1(kRowNames[r]);
      texts.unit[r] = QString::fromLatin1(kRowUnits[r]);
    }
  }
  Page::Input in = Page::InputFor(Record(), texts);
  in.originX = OriginX;
  in.originY = OriginY;
  in.pageWidth = PageWidth;
  in.pageHeight = PageHeight;
  in.printing = Printing != 0;
  return in;
}

void TFormular::Paint(Surface& surface, bool erase, const QRect& rect) {
  // The OK boxes stand beside the rows that belong to the report.
  SyncOkBoxes();
  Page::Paint(surface, PageInput(), erase, rect);
}

void TFormular::PaintScreen() {
  QPainter painter(this);
  // The page is paper: black ink whatever window text colour the desktop uses.
  painter.setPen(Qt::black);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QtSurface surface(&painter);
  Paint(surface, false, rect());
}

// Before a report is printed the user learns what it lacks; he may go on.
void TFormular::CmDrucken() {
  NoteMissing();
  if (!missingNote_.isEmpty()) NoteInStatusBar(QStringLiteral("Drucken"));
  PrintJob::Print(*this);
}
void TFormular::CmDruckvorschau() {
  NoteMissing();
  if (!missingNote_.isEmpty()) NoteInStatusBar(QStringLiteral("Druckvorschau"));
  PrintJob::Preview(*this);
}
void TFormular::CmSeitenEinstellung() { PrintJob::PageSetup(*this); }
