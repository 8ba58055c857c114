#include "shell/modeindicators.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QStatusBar>

namespace {
QLabel* MakeIndicator(QStatusBar* bar, const QString& text, const char* name) {
  auto* label = new QLabel(text, bar);
  label->setObjectName(QString::fromLatin1(name));
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setAlignment(Qt::AlignCenter);
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance(text) + 12);
  bar->addPermanentWidget(label);
  return label;
}

// Lock bits in the native modifier word of a key event, per platform.
struct LockBits {
  quint32 caps;
  quint32 num;
};
LockBits NativeLockBits() {
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb")) return {0x02, 0x10};       // LockMask, Mod2Mask
  if (platform == QLatin1String("windows")) return {0x100, 0x200};  // caps, num lock
  return {0, 0};
}
}  // namespace

ModeIndicators::ModeIndicators(QStatusBar* bar) : QObject(bar) {
  capsLabel_ = MakeIndicator(bar, QStringLiteral("CAPS"), "CapsLock");
  numLabel_ = MakeIndicator(bar, QStringLiteral("NUM"), "NumLock");
  overLabel_ = MakeIndicator(bar, QStringLiteral("OVR"), "Overtype");
  qApp->installEventFilter(this);
  Show();
}

void ModeIndicators::KeyPressed(const QKeyEvent& event) {
  const LockBits bits = NativeLockBits();
  const quint32 native = event.nativeModifiers();
  // The native word carries the state before this key; the lock keys
  // themselves flip it.
  if (bits.caps) caps_ = (native & bits.caps) != 0;
  if (bits.num) num_ = (native & bits.num) != 0;
  switch (event.key()) {
    case Qt::Key_CapsLock: caps_ = !caps_; break;
    case Qt::Key_NumLock: num_ = !num_; break;
    case Qt::Key_Insert:
      if (!(event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier))) overtype_ = !overtype_;
      break;
    default: break;
  }
  Show();
}

bool ModeIndicators::eventFilter(QObject* watched, QEvent* event) {
  // Key events travel up the parent chain; look at each once, at a window.
  if (event->type() == QEvent::KeyPress && watched->isWindowType() && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
    KeyPressed(*static_cast<QKeyEvent*>(event));
  return false;
}

void ModeIndicators::Show() {
  // An indicator that is off shows its text greyed, as the status bar always
  // keeps the three places.
  capsLabel_->setEnabled(caps_);
  numLabel_->setEnabled(num_);
  overLabel_->setEnabled(overtype_);
}

#include "moc_modeindicators.cpp"
