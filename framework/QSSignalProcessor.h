#pragma once

#include <iosfwd>

#include "engine/graph/QSDynSigPipe.h"
#include "framework/properties/QSPropertyTable.h"

namespace tg {

// The processing object of a contraption: a pipe with a table of parameters.
class QSSignalProcessor : public QSDynSigPipe {
 public:
  using QSDynSigPipe::QSDynSigPipe;

  // UI thread: the processor's parameters; the base has none.
  virtual QSPropertyTable* GetPropertyTable();
  // UI thread: reads the parameter values as a brace list.
  virtual void ReadProperties(std::istream& in);
  // UI thread: writes them in the same form.
  virtual void WriteProperties(std::ostream& out);
};

}  // namespace tg
