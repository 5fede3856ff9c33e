#include "framework/QSSignalProcessor.h"

namespace tg {

QSPropertyTable* QSSignalProcessor::GetPropertyTable() {
  static QSStaticPropertyTable::ClassInfo emptyInfo;
  static QSStaticPropertyTable emptyTable;
  return emptyTable.Bind(emptyInfo, [](auto&) {});
}

void QSSignalProcessor::ReadProperties(std::istream& in) { GetPropertyTable()->ReadFrom(in); }

void QSSignalProcessor::WriteProperties(std::ostream& out) { GetPropertyTable()->WriteTo(out); }

}  // namespace tg
