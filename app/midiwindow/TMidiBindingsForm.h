#pragma once

#include <QDialog>
#include <vector>

#include "shell/midi/MidiBinding.h"

class QTableWidget;

namespace tg {

// "MIDI Bindings": every binding of the document, one a row (what it moves,
// the message, its channel and number, pick-up), to be edited and removed.
class TMidiBindingsForm final : public QDialog {
  Q_OBJECT

 public:
  TMidiBindingsForm(const MidiBindingList& bindings, QWidget* parent = nullptr);

  // The list as the rows now stand.
  MidiBindingList Bindings() const;
  QTableWidget* Table() const { return table_; }
  void RemoveSelected();

 private:
  void AddRow(const MidiBinding& binding);

  std::vector<MidiBinding> rows_;
  QTableWidget* table_;
};

}  // namespace tg
