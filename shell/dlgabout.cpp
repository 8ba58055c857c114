#include "shell/dlgabout.h"

#include <QLabel>
#include <QPushButton>

#include "platform/dialogunits.h"
#include "render/fonts.h"
#include "shell/artwork.h"
#include "shell/kelvara.h"

namespace {
int DluX(int x) { return DialogUnits::X(x); }
int DluY(int y) { return DialogUnits::Y(y); }
QRect DluRect(int x, int y, int w, int h) { return DialogUnits::Rect(x, y, w, h); }

QLabel* CenteredStatic(QWidget* parent, const QString& text, const QRect& rect) {
  auto* label = new QLabel(parent);
  label->setTextFormat(Qt::PlainText);  // "&" is shown as it is
  label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  label->setWordWrap(false);
  label->setText(text);
  label->setGeometry(rect);
  return label;
}
}  // namespace

DlgAbout::DlgAbout(QWidget* parent, int resId) : QDialog(parent) {
  setObjectName(QString::number(resId));
  setWindowTitle(QStringLiteral("Über..."));
  setFont(Fonts::DialogFont());
  setModal(true);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(DluX(150), DluY(140));
  if (parent) move(parent->geometry().topLeft() + QPoint(DluX(19), DluY(17)));

  auto* picture = new QLabel(this);
  picture->setAlignment(Qt::AlignCenter);
  picture->setPixmap(Artwork::Bitmap(ShellIds::AboutBitmap));
  picture->setGeometry(DluRect(0, 0, 150, 42));

  CenteredStatic(this, QString::fromUtf8(kProductLine), DluRect(0, 49, 150, 12));
  version_ = CenteredStatic(this, QStringLiteral("Version 1.0"), DluRect(0, 64, 150, 8));
  version_->setObjectName(QString::number(kVersionId));
  maker_ = CenteredStatic(this, QString(), DluRect(0, 79, 150, 30));
  maker_->setObjectName(QString::number(kMakerId));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("1"));
  ok->setDefault(true);
  ok->setAutoDefault(true);
  ok->setGeometry(DluRect(57, 120, 40, 14));
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

DlgAbout::~DlgAbout() = default;

void DlgAbout::SetupWindow() {
  // Texts are limited to 255 characters, as the statics hold them.
  version_->setText(QString::fromLatin1(Kelvara::VersionText).left(255));
  maker_->setText(QStringLiteral("Morvane\n").left(255));
}

#include "moc_dlgabout.cpp"
