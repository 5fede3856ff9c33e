#pragma once

#include <iosfwd>
#include <string>

#include "graph/QSDynSigPipe.h"
#include "properties/QSPropertyTable.h"

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
  // UI thread, after ReadProperties: a value that was read but refused (the
  // one before it stays, and reading went on); empty when all were taken.
  virtual std::string ReadProblem() const { return {}; }
};

}  // namespace tg
