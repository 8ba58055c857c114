#pragma once
// "Grenzwertprofile": the user's own limit profiles. A profile refines one of
// the standards in force today; each value typed replaces that standard's
// limit for one protection class and measurement, the others stay the
// standard's. The profiles are kept with the user's settings; "Speichern"
// writes them all at once and says when that did not work.
#include <QDialog>
#include <array>
#include <vector>

#include "core/limitprofiles.h"

class QComboBox;
class QLabel;
class QLineEdit;

class ProfileDialog : public QDialog {
  Q_OBJECT
 public:
  enum : int {
    ListId = 1301, NameId = 1302, StandardId = 1303, NewId = 1304, DeleteId = 1305, SaveId = 1306, CloseId = 1307,
    StatusId = 1308, FirstCellId = 1310  // 1310 + 4 * (class - 1) + row
  };
  explicit ProfileDialog(QWidget* parent);

  const std::vector<Profiles::UserProfile>& Current() const { return profiles_; }
  // Writes the profiles; false (the user told why) when they were not written.
  bool Save();
  // Adds a new profile and shows it.
  void AddProfile();

 signals:
  // The profiles were written.
  void Saved(const std::vector<Profiles::UserProfile>& profiles);

 private:
  void ShowProfile(int index);
  void TakeEntries();
  void UpdatePlaceholders();

  std::vector<Profiles::UserProfile> profiles_;
  int shown_ = -1;
  QComboBox* list_ = nullptr;
  QLineEdit* name_ = nullptr;
  QComboBox* standard_ = nullptr;
  std::array<std::array<QLineEdit*, kDeviceRowCount>, kClassMax> cells_{};
  QLabel* status_ = nullptr;
};
