#include "report/profiledialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/fieldguard.h"
#include "platform/seams.h"

namespace {
const QString kCaption = QStringLiteral("Grenzwertprofile");
const char* const kRowNames[kDeviceRowCount] = {"R-PE [Ohm]", "R-ISO [MOhm]", "I-ABL [mA]", "I-EA [mA]"};
const char* const kClassNames[kClassMax] = {"Schutzklasse I", "Schutzklasse II", "Schutzklasse III"};
}  // namespace

ProfileDialog::ProfileDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("1300"));
  setWindowTitle(kCaption);
  auto named = [](QWidget* w, int id) {
    w->setObjectName(QString::number(id));
    return w;
  };
  list_ = new QComboBox(this);
  named(list_, ListId);
  auto* add = new QPushButton(QStringLiteral("Neu"), this);
  named(add, NewId);
  auto* remove = new QPushButton(QStringLiteral("Löschen"), this);
  named(remove, DeleteId);
  auto* top = new QHBoxLayout;
  top->addWidget(list_, 1);
  top->addWidget(add);
  top->addWidget(remove);

  name_ = new QLineEdit(this);
  named(name_, NameId);
  FieldGuard::Text(name_, 50);
  standard_ = new QComboBox(this);
  named(standard_, StandardId);
  for (int code = Profiles::kFirstCurrent; code <= Profiles::kLastCurrent; ++code) standard_->addItem(Profiles::Name(code), code);
  auto* head = new QFormLayout;
  head->addRow(QStringLiteral("Name:"), name_);
  head->addRow(QStringLiteral("Norm:"), standard_);

  auto* grid = new QGridLayout;
  for (int r = 0; r < kDeviceRowCount; ++r) grid->addWidget(new QLabel(QString::fromLatin1(kRowNames[r]), this), 0, r + 1);
  for (int k = 0; k < kClassMax; ++k) {
    grid->addWidget(new QLabel(QString::fromLatin1(kClassNames[k]), this), k + 1, 0);
    for (int r = 0; r < kDeviceRowCount; ++r) {
      auto* cell = new QLineEdit(this);
      named(cell, FirstCellId + kDeviceRowCount * k + r);
      FieldGuard::Limit(cell, 10);
      cells_[size_t(k)][size_t(r)] = cell;
      grid->addWidget(cell, k + 1, r + 1);
    }
  }
  auto* hint = new QLabel(QStringLiteral("Leere Felder: der Wert der Norm (grau). Ein Wert für R-PE ersetzt auch die "
                                         "Regel der Leitungslänge."),
                          this);
  hint->setWordWrap(true);
  status_ = new QLabel(this);
  named(status_, StatusId);
  status_->setWordWrap(true);

  auto* save = new QPushButton(QStringLiteral("Speichern"), this);
  named(save, SaveId);
  auto* close = new QPushButton(QStringLiteral("Schließen"), this);
  named(close, CloseId);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(save);
  buttons->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(head);
  layout->addLayout(grid);
  layout->addWidget(hint);
  layout->addWidget(status_);
  layout->addLayout(buttons);

  QString error;
  if (!Profiles::LoadUserProfiles(&profiles_, &error)) status_->setText(error);
  for (const Profiles::UserProfile& p : profiles_) list_->addItem(p.name);
  ShowProfile(profiles_.empty() ? -1 : 0);

  connect(list_, qOverload<int>(&QComboBox::activated), this, [this](int index) {
    TakeEntries();
    ShowProfile(index);
  });
  connect(add, &QPushButton::clicked, this, &ProfileDialog::AddProfile);
  connect(remove, &QPushButton::clicked, this, [this] {
    if (shown_ < 0) return;
    profiles_.erase(profiles_.begin() + shown_);
    list_->removeItem(shown_);
    shown_ = -1;
    ShowProfile(profiles_.empty() ? -1 : 0);
  });
  connect(standard_, qOverload<int>(&QComboBox::currentIndexChanged), this, &ProfileDialog::UpdatePlaceholders);
  connect(name_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (shown_ >= 0) list_->setItemText(shown_, text);
  });
  connect(save, &QPushButton::clicked, this, &ProfileDialog::Save);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void ProfileDialog::AddProfile() {
  TakeEntries();
  Profiles::UserProfile p;
  p.name = QStringLiteral("Neues Profil %1").arg(profiles_.size() + 1);
  profiles_.push_back(p);
  list_->addItem(p.name);
  shown_ = -1;
  ShowProfile(int(profiles_.size()) - 1);
}

void ProfileDialog::ShowProfile(int index) {
  shown_ = index;
  const bool any = index >= 0 && index < int(profiles_.size());
  name_->setEnabled(any);
  standard_->setEnabled(any);
  for (auto& row : cells_)
    for (QLineEdit* cell : row) cell->setEnabled(any);
  if (!any) {
    name_->clear();
    for (auto& row : cells_)
      for (QLineEdit* cell : row) cell->clear();
    UpdatePlaceholders();
    return;
  }
  list_->setCurrentIndex(index);
  const Profiles::UserProfile& p = profiles_[size_t(index)];
  name_->setText(p.name);
  standard_->setCurrentIndex(std::max(0, standard_->findData(p.standard)));
  for (int k = 0; k < kClassMax; ++k)
    for (int r = 0; r < kDeviceRowCount; ++r) cells_[size_t(k)][size_t(r)]->setText(p.limits[size_t(k)][size_t(r)]);
  UpdatePlaceholders();
}

void ProfileDialog::TakeEntries() {
  if (shown_ < 0 || shown_ >= int(profiles_.size())) return;
  Profiles::UserProfile& p = profiles_[size_t(shown_)];
  p.name = name_->text().trimmed();
  p.standard = standard_->currentData().toInt();
  for (int k = 0; k < kClassMax; ++k)
    for (int r = 0; r < kDeviceRowCount; ++r) p.limits[size_t(k)][size_t(r)] = cells_[size_t(k)][size_t(r)]->text().trimmed();
}

void ProfileDialog::UpdatePlaceholders() {
  const int standard = standard_->currentData().toInt();
  const bool any = shown_ >= 0 && shown_ < int(profiles_.size());
  for (int k = 0; k < kClassMax; ++k)
    for (int r = 0; r < kDeviceRowCount; ++r) {
      const Profiles::Cell& cell = Profiles::TableCell(standard, k + 1, r);
      QLineEdit* edit = cells_[size_t(k)][size_t(r)];
      edit->setPlaceholderText(cell.applies ? Profiles::LimitText(r, cell.limit).trimmed().replace('.', ',')
                                            : QStringLiteral("\u2013"));
      edit->setToolTip(QString::fromUtf8(cell.source));
      // A measurement that is no part of the test has no limit to replace.
      edit->setEnabled(any && cell.applies);
      if (!cell.applies) edit->clear();
    }
}

bool ProfileDialog::Save() {
  TakeEntries();
  QString error;
  if (!Profiles::SaveUserProfiles(profiles_, &error)) {
    status_->setText(error);
    Seams::MessageBox(this, error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return false;
  }
  status_->setText(QStringLiteral("Gespeichert: %1").arg(Profiles::UserProfilesFile()));
  emit Saved(profiles_);
  return true;
}
