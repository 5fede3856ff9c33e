#pragma once

#include <QLineEdit>
#include <QPalette>
#include <QString>
#include <QWidget>
#include <optional>
#include <string>

#include "framework/ContraptionEngine.h"
#include "framework/TGardeningContraption.h"
#include "host/HostServices.h"
#include "properties/NumberText.h"

namespace tg::typednumber {

// Marks a text whose value is not taken (out of its control's range): drawn
// in the disabled text colour of the parent, and flagged so tests can ask.
inline void SetGrey(QWidget* widget, bool grey) {
  widget->setProperty("greyText", grey);
  QPalette pal = widget->palette();
  const QPalette& normal = widget->parentWidget()->palette();
  const QColor ink =
      grey ? normal.color(QPalette::Disabled, QPalette::Text) : normal.color(QPalette::Text);
  pal.setColor(QPalette::Text, ink);
  pal.setColor(QPalette::WindowText, ink);
  widget->setPalette(pal);
}

inline bool IsGrey(const QWidget* widget) { return widget->property("greyText").toBool(); }

// The number in what the user has typed into a field. Empty text is no
// number and no complaint (the user is about to type one); text that is not a
// number tells the user so, as every number field does.
inline std::optional<double> Read(const QString& text, TGardeningContraption& contraption) {
  if (text.isEmpty()) return std::nullopt;
  if (const std::optional<double> value = numbertext::Parse(text.toStdString(), true)) {
    return value;
  }
  if (UserMessages* messages = contraption.Engine().Host().messages) {
    std::string message = "'";
    message.append(text.toStdString()).append("' is not a valid floating point value.");
    messages->ShowMessage(message, "Tonegarden", MessageIcon::Error);
  }
  return std::nullopt;
}

// Hands a field's text to apply once the user has finished typing it: on
// Enter or when the field loses the focus, never at each keystroke ("440"
// would play 4 and 44 Hz on the way; "-" or "1e" are numbers still being
// typed, no mistakes).
template <typename Apply>
void WhenTyped(QLineEdit* field, QObject* context, Apply apply) {
  QObject::connect(field, &QLineEdit::editingFinished, context,
                   [field, apply] { apply(field->text()); });
}

}  // namespace tg::typednumber
