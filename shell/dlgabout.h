#pragma once
// The about box (template 20050): the product picture, the product-and-maker
// line, the version text and the maker's name. OK, Escape and the close box
// end it.
#include <QDialog>

class QLabel;

class DlgAbout : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kVersionId = 20043;
  static constexpr int kMakerId = 20044;
  static constexpr const char* kProductLine = "Kelvara \u00a9 2006/10 Morvane";

  DlgAbout(QWidget* parent, int resId);
  ~DlgAbout() override;

  // Puts the version text and the maker's name into their statics.
  void SetupWindow();

 private:
  QLabel* version_ = nullptr;
  QLabel* maker_ = nullptr;
};
