#pragma once

#include <QFrame>

class QLineEdit;
class QListWidget;

namespace tg {

class TContraptionFactory;

// The quick-add field: a small pop-up with a search line over the list of
// contraption types (each size of the mixers and busses its own line) whose
// names or categories hold what is typed. Up, Down, Page Up and Page Down
// move through the list, Enter or a click takes the type, Escape or a click
// elsewhere closes it.
class KWQuickAddPopup final : public QFrame {
  Q_OBJECT

 public:
  KWQuickAddPopup(const TContraptionFactory& factory, QWidget* parent);

  // Shows the field empty, with every type listed, its top-left corner at a
  // global point (moved onto the screen).
  void Open(QPoint global);
  QLineEdit* Field() const { return field_; }
  QListWidget* List() const { return list_; }
  // The type the list has chosen, empty for none.
  QString CurrentType() const;

 signals:
  void Chosen(const QString& typeName);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Filter(const QString& typed);
  void Choose();

  const TContraptionFactory& factory_;
  QLineEdit* field_;
  QListWidget* list_;
};

}  // namespace tg
