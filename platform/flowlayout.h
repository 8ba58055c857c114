#pragma once
// A row of controls that wraps into further rows where the window is too
// narrow for it, as words wrap in a paragraph: no control is cut off by the
// window's edge, and the window can be as narrow as its widest control.
#include <QLayout>
#include <QList>

class FlowLayout : public QLayout {
 public:
  explicit FlowLayout(QWidget* parent = nullptr);
  ~FlowLayout() override;

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Lays the items out in `rect` (only measures when `apply` is false);
  // returns the height used.
  int Arrange(const QRect& rect, bool apply) const;
  QList<QLayoutItem*> items_;
};
