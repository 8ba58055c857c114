#pragma once
// "Prüfangaben": what the report of a standard in force today names beyond
// the tester's values, and what its limits follow from: the standard the
// report (and the next Kopieren of a tester's record) is made under, the
// reason and scope of the test, the measuring method of each row, the kind
// of appliance, its power, its cord, and a limit profile of the user's own.
// The form shows the dialog beside itself (not blocking the window) and
// takes its result when the user confirms it.
#include <QDialog>
#include <array>
#include <vector>

#include "core/limitprofiles.h"
#include "core/reportrecord.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;

class TestDetailsDialog : public QDialog {
  Q_OBJECT
 public:
  // Control ids (object names).
  enum : int {
    StandardId = 1201, AnlassId = 1202, ScopeId = 1203, KindId = 1204, PowerId = 1205, LengthId = 1206,
    SectionId = 1207, ProfileId = 1208, EditProfilesId = 1209, FirstMethodId = 1210,  // 1210..1213
    Norm0701Id = 1214, Norm0751Id = 1215, OkId = 1216, CancelId = 1217, LimitsId = 1218
  };
  TestDetailsDialog(const ReportRecord& report, std::vector<Profiles::UserProfile> profiles, QWidget* parent);

  // The report as the dialog's entries say; only the details, the standard
  // (within the tester's family) and the power field change.
  ReportRecord Result() const;
  // Why the entries cannot be taken (a cord length that is no number), or empty.
  QString Refusal() const;
  // The profiles changed (the profile editor saved them).
  void SetProfiles(std::vector<Profiles::UserProfile> profiles);

 signals:
  // The user asked to edit his limit profiles.
  void EditProfiles();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  int ChosenStandard() const;
  void FillProfiles();
  void FillMethods();
  void ShowLimits();
  void Confirm();

  ReportRecord report_;
  std::vector<Profiles::UserProfile> profiles_;
  QComboBox* standard_ = nullptr;
  QComboBox* norm0701_ = nullptr;
  QComboBox* norm0751_ = nullptr;
  QComboBox* anlass_ = nullptr;
  QLineEdit* scope_ = nullptr;
  QComboBox* kind_ = nullptr;
  QLineEdit* power_ = nullptr;
  QLineEdit* length_ = nullptr;
  QComboBox* section_ = nullptr;
  QComboBox* profile_ = nullptr;
  std::array<QComboBox*, kDeviceRowCount> methods_{};
  QLabel* limits_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  bool fitted_ = false;
};
