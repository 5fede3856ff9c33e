#pragma once

#include <QWidget>
#include <string_view>
#include <vector>

#include "forms/EditProbe.h"
#include "properties/QSPropertyTable.h"
#include "properties/QSPropertyUnits.h"

class QLabel;
class QToolButton;

namespace tg {

class TGardeningContraption;

// The base of every contraption's editor window: a borderless child of the
// properties pane's content with a header strip (name, preset, help and
// close buttons) to drag it by, snapping to a 10-pixel grid. Its position is
// a position in the pane's content, so scrolling needs no correction. Every
// press on it marks the contraption changed; its place is remembered in the
// contraption's window state.
class TContraptionForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kHeaderHeight = 17;
  static constexpr int kGrid = 10;

  TContraptionForm(TGardeningContraption& contraption, QWidget* parent);
  ~TContraptionForm() override;

  TGardeningContraption& Contraption() const { return contraption_; }
  // Refreshes the controls from the processor; the base shows the current preset.
  virtual void UpdateControls();
  // Every change of place or size goes through here: snapped to the grid,
  // never left of or above the content; sizes rounded up.
  void Place(QRect requested);
  // Takes the size a window was designed with, or more if its controls need it.
  void PlaceDesigned(QSize designed);
  // The window's place in the pane's content.
  QPoint ContentPosition() const;
  QString PresetCaption() const;
  // Moves to the place the window state remembers (which follows every move
  // of the shown window, so a document saved now keeps where it is).
  void MoveToStoredPlace();
  // Header drags, in header coordinates (also what the mouse events call).
  void BeginHeaderDrag(QPoint at);
  void ContinueHeaderDrag(QPoint at);
  // The controls Tab visits, in reading order: rows from the top, left to
  // right within a row. Tab and Shift+Tab cycle through them.
  std::vector<QWidget*> TabControls() const;
  // Cut, Copy and Paste with the focus in the window act on a preset slot:
  // the current preset's, or for a paste without one the first empty slot.
  enum class PresetCommand { Cut, Copy, Paste };
  // Whether there is a slot to act on (a set one to cut or copy; a preset
  // of this type on the clipboard to paste).
  bool CanRunPresetCommand(PresetCommand command) const;
  void RunPresetCommand(PresetCommand command);
  // What a control's tooltip shows after its value ("Hz"); empty for none.
  static QString UnitText(const QSPropertyUnits& units);

 protected:
  // Every parameter the user changes goes through here: the value is handed
  // to the audio thread and the contraption hears of the edit (document
  // modified, preset caption "--"; undo will record here).
  template <typename Property, typename Value>
  void Edit(Property& property, Value value) {
    if (EditProbe* probe = EditProbe::Active()) {
      probe->Note(property, value);
      return;
    }
    property.SetValue(value);
    ParameterEdited();
  }
  void ParameterEdited();
  // A parameter's description in its processor's table: editors take their
  // ranges from here. The parameter must exist.
  const QSPropertyInfo& ParameterInfo(std::string_view name) const;
  // Sets a control's range (a knob, slider or number edit) from a parameter's.
  template <typename Control>
  void TakeRange(Control* control, std::string_view name) const {
    const QSPropertyInfo& info = ParameterInfo(name);
    control->SetMin(info.minimum);
    control->SetMax(info.maximum);
    if constexpr (requires { control->SetUnit(QString()); })
      control->SetUnit(UnitText(*info.units));
  }
  // Where subclasses put their controls (below the header).
  QWidget* Body() const { return body_; }
  // A label of its natural size with its top-left at (x, y) in parent.
  static QLabel* PlaceLabel(const QString& text, QWidget* parent, int x, int y);
  void showEvent(QShowEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void childEvent(QChildEvent* event) override;

 private:
  void Watch(QObject* object);
  int PresetSlotFor(PresetCommand command) const;

  TGardeningContraption& contraption_;
  // Made in the constructor's body: child events arrive while they are made.
  QWidget* header_ = nullptr;
  QLabel* label_ = nullptr;
  QToolButton* presetButton_ = nullptr;
  QWidget* body_ = nullptr;
  QPoint dragReference_;
  QPoint remainder_;
};

}  // namespace tg
