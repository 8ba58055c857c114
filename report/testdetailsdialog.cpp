#include "report/testdetailsdialog.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <cmath>

#include "controls/fieldguard.h"
#include "core/fieldcheck.h"
#include "core/layout.h"
#include "core/reportrules.h"
#include "platform/screenfit.h"
#include "platform/seams.h"

namespace {

const QString kCaption = QStringLiteral("Prüfangaben");
// Cords longer than this are a typing error, not a cord.
constexpr double kLongestCord = 1000.0;
constexpr int kTextLimit = 100;

void FillStandards(QComboBox* combo, int testerStandard, int selected) {
  for (int code : Profiles::Choices(testerStandard)) combo->addItem(Profiles::Name(code), code);
  const int index = combo->findData(selected);
  combo->setCurrentIndex(index >= 0 ? index : 0);
}

}  // namespace

TestDetailsDialog::TestDetailsDialog(const ReportRecord& report, std::vector<Profiles::UserProfile> profiles,
                                     QWidget* parent)
    : QDialog(parent), report_(report), profiles_(std::move(profiles)) {
  setObjectName(QStringLiteral("1200"));
  setWindowTitle(kCaption);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  auto named = [](QWidget* w, int id) {
    w->setObjectName(QString::number(id));
    return w;
  };

  standard_ = new QComboBox(this);
  named(standard_, StandardId);
  const int family = Profiles::TesterStandard(report.VdePruefgrundlage);
  if (family != 0) {
    FillStandards(standard_, family, report.VdePruefgrundlage);
  } else {
    standard_->addItem(report.VdePruefgrundlage >= 1 ? Profiles::Name(report.VdePruefgrundlage)
                                                     : QStringLiteral("(noch kein Datensatz kopiert)"),
                       report.VdePruefgrundlage);
    standard_->setEnabled(false);
  }
  form->addRow(QStringLiteral("Prüfgrundlage dieses Berichts:"), standard_);
  norm0701_ = new QComboBox(this);
  named(norm0701_, Norm0701Id);
  FillStandards(norm0701_, 4, report.NormFuer0701);
  form->addRow(QStringLiteral("Datensätze \u201EVDE 0701 / 0702\u201C berichten nach:"), norm0701_);
  norm0751_ = new QComboBox(this);
  named(norm0751_, Norm0751Id);
  FillStandards(norm0751_, 5, report.NormFuer0751);
  form->addRow(QStringLiteral("Datensätze \u201EVDE 0751\u201C berichten nach:"), norm0751_);

  anlass_ = new QComboBox(this);
  named(anlass_, AnlassId);
  anlass_->addItem(QStringLiteral("(nicht angegeben)"));
  for (int a = 1; a <= 4; ++a) anlass_->addItem(Report::AnlassText(a));
  anlass_->setCurrentIndex(Report::AnlassText(report.Anlass).isEmpty() ? 0 : report.Anlass);
  form->addRow(QStringLiteral("Anlass der Prüfung:"), anlass_);

  scope_ = new QLineEdit(this);
  named(scope_, ScopeId);
  FieldGuard::Text(scope_, kTextLimit);
  scope_->setText(report.Pruefumfang);
  ReportRecord composed = report;
  composed.Pruefumfang.clear();
  scope_->setPlaceholderText(Report::Scope(composed));
  scope_->setToolTip(QStringLiteral("Leer: aus den Messungen des Berichts"));
  form->addRow(QStringLiteral("Prüfumfang:"), scope_);

  kind_ = new QComboBox(this);
  named(kind_, KindId);
  kind_->addItems(Profiles::KindTexts());
  kind_->setCurrentIndex(report.Geraeteart == int(Profiles::Kind::Heating) ? 1 : 0);
  form->addRow(QStringLiteral("Geräteart:"), kind_);
  power_ = new QLineEdit(this);
  named(power_, PowerId);
  FieldGuard::Text(power_, Layout::kFields[Layout::kFieldLeistung].limit);
  power_->setText(report.Fields[Layout::kFieldLeistung]);
  power_->setPlaceholderText(QStringLiteral("z. B. 2,2 kW"));
  form->addRow(QStringLiteral("Leistung:"), power_);

  auto* cord = new QHBoxLayout;
  length_ = new QLineEdit(this);
  named(length_, LengthId);
  FieldGuard::Text(length_, 10);
  length_->setText(report.Leitungslaenge);
  length_->setPlaceholderText(QStringLiteral("bis 5"));
  section_ = new QComboBox(this);
  named(section_, SectionId);
  section_->setEditable(true);
  section_->addItems({QString(), QStringLiteral("0,75"), QStringLiteral("1"), QStringLiteral("1,5"), QStringLiteral("2,5"),
                      QStringLiteral("4"), QStringLiteral("6")});
  section_->setCurrentText(report.Leitungsquerschnitt);
  cord->addWidget(length_, 1);
  cord->addWidget(new QLabel(QStringLiteral("m,  Querschnitt"), this));
  cord->addWidget(section_, 1);
  cord->addWidget(new QLabel(QStringLiteral("mm²"), this));
  form->addRow(QStringLiteral("Anschlussleitung:"), cord);

  auto* profileRow = new QHBoxLayout;
  profile_ = new QComboBox(this);
  named(profile_, ProfileId);
  auto* edit = new QPushButton(QStringLiteral("Profile bearbeiten..."), this);
  named(edit, EditProfilesId);
  profileRow->addWidget(profile_, 1);
  profileRow->addWidget(edit);
  form->addRow(QStringLiteral("Grenzwertprofil:"), profileRow);

  for (int r = 0; r < kDeviceRowCount; ++r) {
    methods_[size_t(r)] = new QComboBox(this);
    named(methods_[size_t(r)], FirstMethodId + r);
    methods_[size_t(r)]->setEditable(true);
    form->addRow(QStringLiteral("Messverfahren %1:").arg(QStringLiteral("R-PE,R-ISO,I-ABL,I-EA").split(',')[r]),
                 methods_[size_t(r)]);
  }
  limits_ = new QLabel(this);
  named(limits_, LimitsId);
  limits_->setWordWrap(true);
  form->addRow(QStringLiteral("Grenzwerte:"), limits_);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  named(ok, OkId);
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
  named(cancel, CancelId);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  // The entries scroll where the screen is small (1366 x 768 at 200 %); the
  // buttons stay in view below them.
  auto* content = new QWidget;
  content->setLayout(form);
  scroll_ = new QScrollArea(this);
  scroll_->setWidget(content);
  scroll_->setWidgetResizable(true);
  scroll_->setFrameShape(QFrame::NoFrame);
  scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(scroll_, 1);
  layout->addLayout(buttons);

  FillProfiles();
  FillMethods();
  ShowLimits();
  connect(ok, &QPushButton::clicked, this, &TestDetailsDialog::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(edit, &QPushButton::clicked, this, &TestDetailsDialog::EditProfiles);
  connect(standard_, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] {
    // The report's standard is the choice for its family's next records too.
    QComboBox* familyChoice = Profiles::TesterStandard(ChosenStandard()) == 5 ? norm0751_ : norm0701_;
    familyChoice->setCurrentIndex(familyChoice->findData(ChosenStandard()));
    FillProfiles();
    FillMethods();
    ShowLimits();
  });
  for (QComboBox* combo : {kind_, profile_}) connect(combo, qOverload<int>(&QComboBox::currentIndexChanged), this, &TestDetailsDialog::ShowLimits);
  for (QLineEdit* line : {power_, length_}) connect(line, &QLineEdit::textChanged, this, &TestDetailsDialog::ShowLimits);
  connect(section_, &QComboBox::currentTextChanged, this, &TestDetailsDialog::ShowLimits);
}

void TestDetailsDialog::showEvent(QShowEvent* event) {
  if (!fitted_) {
    fitted_ = true;
    // As large as the entries want, as far as the screen has room.
    const QMargins m = layout()->contentsMargins();
    const QSize content = scroll_->widget()->sizeHint();
    const int scrollBar = scroll_->verticalScrollBar()->sizeHint().width();
    ScreenFit::Fit(this, QSize(content.width() + scrollBar + m.left() + m.right(),
                               content.height() + m.top() + m.bottom() + layout()->spacing() +
                                   layout()->itemAt(1)->sizeHint().height()));
  }
  QDialog::showEvent(event);
}

int TestDetailsDialog::ChosenStandard() const { return standard_->currentData().toInt(); }

void TestDetailsDialog::SetProfiles(std::vector<Profiles::UserProfile> profiles) {
  profiles_ = std::move(profiles);
  FillProfiles();
  ShowLimits();
}

void TestDetailsDialog::FillProfiles() {
  const QString wanted = profile_->count() > 0 ? profile_->currentData().toString() : report_.Grenzwertprofil.trimmed();
  QSignalBlocker block(profile_);
  profile_->clear();
  profile_->addItem(QStringLiteral("(keines: die Werte der Norm)"), QString());
  const int standard = ChosenStandard();
  for (const Profiles::UserProfile& p : profiles_)
    if (p.standard == standard) profile_->addItem(p.name.trimmed(), p.name.trimmed());
  const int index = profile_->findData(wanted, Qt::UserRole, Qt::MatchFixedString);
  profile_->setCurrentIndex(index >= 0 ? index : 0);
  profile_->setEnabled(Profiles::IsCurrent(standard));
}

void TestDetailsDialog::FillMethods() {
  const int standard = ChosenStandard();
  for (int r = 0; r < kDeviceRowCount; ++r) {
    QComboBox* combo = methods_[size_t(r)];
    const QString shown = combo->count() > 0 ? combo->currentText() : Report::Method(report_, r);
    QSignalBlocker block(combo);
    combo->clear();
    combo->addItems(Profiles::Methods(standard, r));
    combo->setCurrentText(shown.isEmpty() ? Profiles::DefaultMethod(standard, r) : shown);
    combo->setEnabled(Profiles::IsCurrent(standard));
  }
}

void TestDetailsDialog::ShowLimits() {
  const ReportRecord report = Result();
  if (Profiles::TesterStandard(report.VdePruefgrundlage) == 0) {
    limits_->setText(QStringLiteral("die der gewählten Norm, sobald ein Datensatz kopiert ist"));
    return;
  }
  if (!Profiles::IsCurrent(report.VdePruefgrundlage)) {
    limits_->setText(QStringLiteral("die der Tabelle für %1, wie im Messgerät").arg(Profiles::Name(report.VdePruefgrundlage)));
    return;
  }
  const Profiles::Limits limits = Profiles::Compute(report.VdePruefgrundlage, report.VdeKlasse, Report::ApplianceOf(report),
                                                    Profiles::FindProfile(profiles_, report.Grenzwertprofil));
  static const char* const kShort[kDeviceRowCount] = {"R-PE \u2264", "R-ISO \u2265", "I-ABL \u2264", "I-EA \u2264"};
  QStringList parts;
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const Profiles::RowLimit& l = limits.rows[size_t(r)];
    if (!l.applies) continue;
    QString part = QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(kShort[r]), l.text.trimmed().replace('.', ','),
                                                  Profiles::Unit(r));
    if (!l.basis.isEmpty()) part += QStringLiteral(" (%1)").arg(l.basis);
    parts << part;
  }
  limits_->setText(parts.join(QStringLiteral("; ")));
}

ReportRecord TestDetailsDialog::Result() const {
  ReportRecord r = report_;
  if (Profiles::TesterStandard(report_.VdePruefgrundlage) != 0) r.VdePruefgrundlage = ChosenStandard();
  r.NormFuer0701 = norm0701_->currentData().toInt();
  r.NormFuer0751 = norm0751_->currentData().toInt();
  r.Anlass = anlass_->currentIndex();
  r.Pruefumfang = scope_->text().trimmed();
  r.Geraeteart = kind_->currentIndex() == 1 ? int(Profiles::Kind::Heating) : int(Profiles::Kind::General);
  r.Fields[Layout::kFieldLeistung] = power_->text();
  r.Leitungslaenge = length_->text().trimmed();
  r.Leitungsquerschnitt = section_->currentText().trimmed();
  r.Grenzwertprofil = profile_->currentData().toString();
  for (int row = 0; row < kDeviceRowCount; ++row) {
    // The standard's own method is no method of the user's.
    const QString method = methods_[size_t(row)]->currentText().trimmed();
    r.Methode[row] = method == Profiles::DefaultMethod(r.VdePruefgrundlage, row) ? QString() : method;
  }
  return r;
}

QString TestDetailsDialog::Refusal() const {
  const ReportRecord r = Result();
  for (const QString& text : {r.Pruefumfang, r.Leitungslaenge, r.Leitungsquerschnitt, r.Fields[Layout::kFieldLeistung]}) {
    const QString character = FieldCheck::UnstorableCharacter(text);
    if (!character.isEmpty()) return FieldCheck::UnstorableMessage(character);
  }
  for (const QString& method : r.Methode) {
    const QString character = FieldCheck::UnstorableCharacter(method);
    if (!character.isEmpty()) return FieldCheck::UnstorableMessage(character);
  }
  const double length = Profiles::ParseNumber(r.Leitungslaenge);
  if (!r.Leitungslaenge.isEmpty() && (std::isnan(length) || length > kLongestCord))
    return QStringLiteral("\u201E%1\u201C ist keine Leitungslänge in Metern (zum Beispiel 10 oder 2,5).").arg(r.Leitungslaenge);
  const double section = Profiles::ParseNumber(r.Leitungsquerschnitt);
  if (!r.Leitungsquerschnitt.isEmpty() && (std::isnan(section) || section <= 0 || section > 500))
    return QStringLiteral("\u201E%1\u201C ist kein Leitungsquerschnitt in mm² (zum Beispiel 1,5).").arg(r.Leitungsquerschnitt);
  if (r.Geraeteart == int(Profiles::Kind::Heating) && std::isnan(Profiles::ParsePowerKw(r.Fields[Layout::kFieldLeistung])))
    return QStringLiteral("Für ein Gerät mit Heizelementen braucht es die Leistung (zum Beispiel 6 kW): von ihr hängt "
                          "der Grenzwert des Schutzleiterstroms ab.");
  return QString();
}

void TestDetailsDialog::Confirm() {
  const QString why = Refusal();
  if (!why.isEmpty()) {
    Seams::MessageBox(this, why, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return;
  }
  accept();
}
