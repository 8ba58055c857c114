// The record list and the archive open within the free area of a small
// screen (1366 x 768, and the same at 200 %: 683 x 384), whatever size the
// record list was saved at, and the record list keeps its record number and
// Inventar-Nr. in view while it scrolls sideways.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <memory>

#include "core/archiveservice.h"
#include "core/userfolders.h"
#include "device/TMessgeraet.h"
#include "platform/screenfit.h"
#include "platform/seams.h"
#include "records/archivewindow.h"
#include "records/recordlistwindow.h"
#include "report/TFormular.h"
#include "tests/testutil.h"

namespace {

struct Screen {
  QRect area;  // the free area: the screen less a panel of 28 pixels at the top
  const char* name;
};
const Screen kScreens[] = {{QRect(0, 28, 1366, 740), "1366x768"}, {QRect(0, 14, 683, 370), "1366x768-200"}};

// The screen of a test, for as long as it runs.
class ScopedScreen {
 public:
  explicit ScopedScreen(const QRect& area) { ScreenFit::SetArea([area] { return area; }); }
  ~ScopedScreen() { ScreenFit::SetArea({}); }
};

// The window with the window manager's frame lies on the area, and every
// button and label is inside the window, none cut by its edge.
void ExpectFits(QWidget* window, const Screen& screen) {
  const QRect frame(window->pos(), window->size() + QSize(ScreenFit::kFrameWidth, ScreenFit::kFrameHeight));
  EXPECT_TRUE(screen.area.contains(frame)) << screen.name << ": window " << frame.x() << "," << frame.y() << " "
                                           << frame.width() << "x" << frame.height();
  for (QWidget* control : window->findChildren<QWidget*>()) {
    if (!control->isVisible() || !(qobject_cast<QPushButton*>(control) || qobject_cast<QLabel*>(control))) continue;
    const QRect inWindow(control->mapTo(window, QPoint(0, 0)), control->size());
    EXPECT_TRUE(window->rect().contains(inWindow))
        << screen.name << ": " << control->metaObject()->className() << " "
        << control->property("text").toString().toStdString() << " at " << inWindow.x() << "," << inWindow.y();
  }
}

// A device window holding `count` records and the form beside it.
struct Records {
  TMessgeraet device{nullptr, 1000, 0};
  ArchiveService archive;
  TFormular form{&device};
  explicit Records(int count) {
    Seams::SetTimerResponder(TestUtil::ManualTimers);
    device.SetupWindow();
    form.SetupWindow();
    for (int r = 0; r < 4; ++r) device.MeasurementAvailable[r] = 1;
    device.RecordCount = count;
    for (int i = 0; i < count; ++i) {
      DeviceRecord& rec = device.Records[i];
      const int codes[4] = {3, 7, 9, 11}, raws[4] = {1200 + i, 5000, 1000, 1000};
      for (int e = 0; e < 4; ++e) rec.RangeCode[e] = codes[e], rec.RawValue[e] = raws[e];
    }
  }
};

TEST(WindowsThatFit, TheRecordListRestoredOnASmallerScreenFitsIt) {
  Records records(40);
  for (const Screen& screen : kScreens) {
    // Saved on a large screen at 200 %, and moved past the right edge there.
    UserSettings::SetValue(QStringLiteral("Prüfungen"), QStringLiteral("Größe"), QStringLiteral("2732x1498"));
    ScopedScreen small(screen.area);
    RecordListWindow list(&records.device, &records.form, records.archive);
    list.SetupWindow();
    list.move(screen.area.right() - 100, screen.area.top() + 50);
    list.show();
    QApplication::processEvents();
    ExpectFits(&list, screen);
    EXPECT_GT(list.width(), screen.area.width() * 3 / 4) << screen.name;  // shrunk to the screen, not to nothing
    TestUtil::Grab(&list, QStringLiteral("record-list-fits-%1").arg(screen.name));
    // Shrinking it to the screen is not the user's choice: the size saved stays.
    EXPECT_EQ(UserSettings::Value(QStringLiteral("Prüfungen"), QStringLiteral("Größe")), QStringLiteral("2732x1498"));
    list.resize(list.width() - 10, list.height());
    QApplication::processEvents();
    EXPECT_EQ(UserSettings::Value(QStringLiteral("Prüfungen"), QStringLiteral("Größe")),
              QStringLiteral("%1x%2").arg(list.width()).arg(list.height()));
  }
}

TEST(WindowsThatFit, TheArchiveOpensWithinTheScreen) {
  for (const Screen& screen : kScreens) {
    ScopedScreen small(screen.area);
    ArchiveService service;
    ArchiveWindow archive(nullptr, service);
    archive.move(screen.area.right() - 50, screen.area.bottom() - 50);  // where a larger screen was
    archive.SetupWindow();
    archive.show();
    TestUtil::WaitFor([&] { return !archive.Busy(); }, 10000);
    ExpectFits(&archive, screen);
    TestUtil::Grab(&archive, QStringLiteral("archive-fits-%1").arg(screen.name));
  }
}

TEST(WindowsThatFit, TheRecordNumberAndInventarNrStayInViewWhileTheListScrollsSideways) {
  Records records(40);
  ScopedScreen small(kScreens[0].area);
  RecordListWindow list(&records.device, &records.form, records.archive);
  list.SetupWindow();
  list.show();
  RecordListModel* model = list.Model();
  ASSERT_TRUE(model->setData(model->index(2, RecordListModel::ColInventar), QStringLiteral("INV-0003"), Qt::EditRole));
  list.resize(900, 500);
  QApplication::processEvents();
  QTableView* table = list.Table();
  QTableView* frozen = list.FrozenColumns();
  ASSERT_TRUE(frozen && frozen->isVisible());
  // The two columns come first, in the table and in the view over its edge.
  EXPECT_EQ(table->horizontalHeader()->visualIndex(RecordListModel::ColNumber), 0);
  EXPECT_EQ(table->horizontalHeader()->visualIndex(RecordListModel::ColInventar), 1);
  const int width = table->columnWidth(RecordListModel::ColNumber) + table->columnWidth(RecordListModel::ColInventar);

  table->scrollTo(table->model()->index(2, RecordListModel::ColBemerkungen));
  QApplication::processEvents();
  ASSERT_GT(table->horizontalScrollBar()->value(), width) << "the list did not scroll sideways";
  // Scrolled to its last column: the number and the Inventar-Nr. of the row are still where they were.
  const QModelIndex inventar = frozen->model()->index(2, RecordListModel::ColInventar);
  const QRect cell = frozen->visualRect(inventar);
  EXPECT_TRUE(frozen->viewport()->rect().contains(cell)) << cell.x() << "," << cell.y();
  EXPECT_GE(frozen->width(), width);
  EXPECT_EQ(frozen->mapTo(table, QPoint(0, 0)).x(), table->frameWidth());
  for (int column = 0; column < model->columnCount(); ++column)
    EXPECT_EQ(frozen->isColumnHidden(column),
              column != RecordListModel::ColNumber && column != RecordListModel::ColInventar) << column;
  // The last column is in view beside it, not under it.
  EXPECT_GE(table->visualRect(table->model()->index(2, RecordListModel::ColBemerkungen)).left(), width);
  TestUtil::Grab(&list, QStringLiteral("record-list-scrolled-sideways"));
  // Rows scroll together, and one selection is shown in both.
  table->scrollToBottom();
  QApplication::processEvents();
  EXPECT_EQ(frozen->verticalScrollBar()->value(), table->verticalScrollBar()->value());
  EXPECT_GT(frozen->verticalScrollBar()->value(), 0);
  table->selectRow(39);
  EXPECT_TRUE(frozen->selectionModel()->isRowSelected(39, QModelIndex()));
  // Typing into the Inventar-Nr. from the table's keyboard: the editor opens
  // where the cell is seen, over the table's edge, and takes every key.
  table->setCurrentIndex(table->model()->index(39, RecordListModel::ColInventar));
  for (const char* key : {"I", "7"}) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromLatin1(key));
    QApplication::sendEvent(QApplication::focusWidget() && QApplication::focusWidget() != table ? QApplication::focusWidget()
                                                                                               : static_cast<QWidget*>(table),
                            &press);
  }
  QWidget* editor = QApplication::focusWidget();
  ASSERT_TRUE(editor && frozen->isAncestorOf(editor)) << "the editor is not in the view over the edge";
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(editor, &enter);
  QApplication::processEvents();
  EXPECT_EQ(model->Appliance(39).InventarNr, QStringLiteral("I7"));
}

}  // namespace
