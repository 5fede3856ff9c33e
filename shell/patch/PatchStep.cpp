#include "shell/patch/PatchStep.h"

#include <utility>

namespace tg {

PatchStep PatchStep::Inverse() const {
  PatchStep s = *this;
  switch (kind) {
    case Kind::Place:
      s.kind = Kind::Remove;
      break;
    case Kind::Remove:
      s.kind = Kind::Place;
      break;
    case Kind::Connect:
      s.kind = Kind::Disconnect;
      break;
    case Kind::Disconnect:
      s.kind = Kind::Connect;
      break;
    case Kind::Move:
      std::swap(s.fromX, s.toX);
      std::swap(s.fromY, s.toY);
      break;
    case Kind::State:
      std::swap(s.before, s.after);
      break;
    case Kind::Tempo:
      std::swap(s.tempoBefore, s.tempoAfter);
      break;
    case Kind::Layout:
      std::swap(s.layoutBefore, s.layoutAfter);
      break;
    case Kind::Bindings:
      std::swap(s.bindings, s.bindingsAfter);
      break;
    case Kind::Rename:
      std::swap(s.source, s.destination);
      break;
  }
  return s;
}

}  // namespace tg
