#include "shell/patch/WireRules.h"

#include "framework/ContraptionDescriptor.h"

namespace tg {

std::string PortNameOf(const PatchNode& node, bool outlet, int port) {
  if (node.contraption == nullptr) return DefaultPortName(outlet, port);
  return PortName(*node.contraption, outlet, port);
}

std::string QuotedPort(const PatchNode& node, bool outlet, int port) {
  std::string text = "'";
  text.append(PortNameOf(node, outlet, port)).append("' of ").append(node.caption);
  return text;
}

std::string WireRefusal(const PatchModel& model, const PatchNode& source, int outlet,
                        const PatchNode& destination, int inlet) {
  if (&source == &destination) return "A contraption cannot feed itself";
  if (outlet < 0 || outlet >= source.outletCount) {
    std::string text = source.caption;
    text.append(" has no outlet ").append(std::to_string(outlet + 1));
    return text;
  }
  if (inlet < 0 || inlet >= destination.inletCount) {
    std::string text = destination.caption;
    text.append(" has no inlet ").append(std::to_string(inlet + 1));
    return text;
  }
  // An inlet takes one wire; an outlet may feed many.
  if (model.IsInletTaken(destination, inlet)) {
    std::string text = "Inlet ";
    text.append(QuotedPort(destination, false, inlet)).append(" already has a wire");
    return text;
  }
  return {};
}

}  // namespace tg
