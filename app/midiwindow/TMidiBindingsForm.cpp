#include "app/midiwindow/TMidiBindingsForm.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace tg {

namespace midi_bindings_form {

enum Column { kTarget, kMessage, kChannel, kNumber, kPickUp, kColumns };

}  // namespace midi_bindings_form

TMidiBindingsForm::TMidiBindingsForm(const MidiBindingList& bindings, QWidget* parent)
    : QDialog(parent), table_(new QTableWidget(0, midi_bindings_form::kColumns, this)) {
  setWindowTitle("MIDI Bindings");
  table_->setHorizontalHeaderLabels({"Control", "MIDI", "Channel", "Number", "Pick-Up"});
  table_->horizontalHeader()->setSectionResizeMode(midi_bindings_form::kTarget,
                                                   QHeaderView::Stretch);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  for (const MidiBinding& b : bindings.All()) AddRow(b);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  QPushButton* remove = buttons->addButton("&Remove", QDialogButtonBox::ActionRole);
  connect(remove, &QPushButton::clicked, this, [this] { RemoveSelected(); });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addWidget(buttons);
  resize(640, 360);
}

void TMidiBindingsForm::AddRow(const MidiBinding& binding) {
  using namespace midi_bindings_form;
  const int row = table_->rowCount();
  table_->insertRow(row);
  rows_.push_back(binding);
  auto text = [](const std::string& s) {
    auto* item = new QTableWidgetItem(QString::fromStdString(s));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
  };
  table_->setItem(row, kTarget, text(binding.target.Description()));
  MidiBinding shown = binding;
  shown.channel = MidiBinding::kAnyChannel;
  std::string message = shown.SourceText();
  message.erase(message.rfind(" on any channel"));
  table_->setItem(row, kMessage, text(message));
  auto* channel = new QSpinBox;
  channel->setRange(0, 16);
  channel->setSpecialValueText("any");
  channel->setValue(binding.channel + 1);
  table_->setCellWidget(row, kChannel, channel);
  auto* number = new QSpinBox;
  const bool numbered = binding.source != MidiBinding::Source::PitchBend &&
                        binding.source != MidiBinding::Source::Program;
  number->setRange(0, binding.source == MidiBinding::Source::Controller14 ? 31 : 127);
  number->setValue(binding.number);
  number->setEnabled(numbered);
  table_->setCellWidget(row, kNumber, number);
  auto* pickUp = new QCheckBox;
  pickUp->setChecked(binding.pickUp);
  const bool moving = numbered && binding.source != MidiBinding::Source::Note;
  pickUp->setEnabled(moving || binding.source == MidiBinding::Source::PitchBend);
  table_->setCellWidget(row, kPickUp, pickUp);
}

void TMidiBindingsForm::RemoveSelected() {
  const QModelIndexList chosen = table_->selectionModel()->selectedRows();
  std::vector<int> rows;
  for (const QModelIndex& index : chosen) rows.push_back(index.row());
  std::sort(rows.rbegin(), rows.rend());
  for (int row : rows) {
    table_->removeRow(row);
    rows_.erase(rows_.begin() + row);
  }
}

MidiBindingList TMidiBindingsForm::Bindings() const {
  using namespace midi_bindings_form;
  MidiBindingList list;
  for (int row = 0; row < table_->rowCount(); ++row) {
    MidiBinding b = rows_[static_cast<size_t>(row)];
    b.channel = static_cast<QSpinBox*>(table_->cellWidget(row, kChannel))->value() - 1;
    b.number = static_cast<QSpinBox*>(table_->cellWidget(row, kNumber))->value();
    b.pickUp = static_cast<QCheckBox*>(table_->cellWidget(row, kPickUp))->isChecked();
    list.Add(b);
  }
  return list;
}

}  // namespace tg
