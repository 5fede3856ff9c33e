#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/TContraptionMaker.h"
#include "properties/QSPropertyTable.h"

namespace tg {

class TGardeningContraption;

// What a type calls its inlets and outlets ("Left in", "Channel 3 left"), in
// port order. The patcher pane shows them and the wiring messages quote them.
struct PortNames {
  std::vector<std::string> inlets;
  std::vector<std::string> outlets;
};

// Everything the program knows of one contraption type, or of a family of
// types that differ only in size (the mixers and busses): the New menu's
// name and category, the help topic, and how its makers are made. Each
// type's folder defines its descriptor; shell/RegisterContraptions.cpp
// registers them in the New menu's order, and the editor windows and help
// pages find their type through it.
struct ContraptionDescriptor {
  // The type name, or for a family the name with "%d" where the size goes.
  std::string typeName;
  std::string category;
  // The help topic's number (0: none) and page, a file shipped beside the
  // type's sources and shown as "qrc:/help/<page>".
  int helpNumber = 0;
  std::string helpPage;
  // How the help contents name the type (or family).
  std::string helpTitle;
  // A family's sizes, in registration order; empty for a single type.
  std::vector<int> sizes;
  // The maker of one type: its name and, in a family, its size (else 0).
  std::function<std::unique_ptr<TContraptionMaker>(const ContraptionDescriptor& descriptor,
                                                   const std::string& typeName, int size)>
      makeMaker;
  // The port names of one type: its size in a family, else 0.
  std::function<PortNames(int size)> ports;
  // Parameters that scale a signal though their units do not say so (a mix,
  // a feedback, a depth, a switch between modes or a gate). Like every
  // parameter in gain, volume or panning units, each reaches a new value
  // through a ramp or a crossfade, never in a step. A name ending in "*"
  // stands for every name it begins.
  std::vector<std::string> levelParameters;

  // Whether a parameter scales a signal, by its units or by the list above.
  bool ScalesSignal(const QSPropertyInfo& parameter) const;

  // The type names in registration order ("S2Mixer", "S3Mixer", …).
  std::vector<std::string> TypeNames() const;
  // A family's type name for one size.
  std::string TypeNameFor(int size) const;
  // The size a family member is registered with (0 for a single type or a
  // name outside the family).
  int SizeOf(const std::string& typeName) const;
};

// The port names of a type whose ports do not depend on a size.
std::function<PortNames(int size)> FixedPorts(std::vector<std::string> inlets,
                                              std::vector<std::string> outlets);

// A port's name as its type declares it; "Inlet 2" or "Outlet 2" (counted
// from 1) for a port the type leaves unnamed.
// The inlets of a family by channel, counted from 1: "Channel 3", or in pairs
// "Channel 3 left", "Channel 3 right".
std::vector<std::string> ChannelInletNames(int channels, bool stereo);

std::string PortName(const TGardeningContraption& contraption, bool outlet, int port);
std::string DefaultPortName(bool outlet, int port);
// The names a type declares for its ports, or none.
PortNames PortNamesOf(const TContraptionMaker& maker);

// The maker factory of an ordinary type: each contraption owns a new Processor.
template <typename Processor>
auto OrdinaryMakers() {
  return [](const ContraptionDescriptor& d, const std::string& name,
            int) -> std::unique_ptr<TContraptionMaker> {
    return std::make_unique<TMakerTemplate<Processor>>(name, d.category, d.helpNumber, false);
  };
}

// The sizes of a family as a list.
template <int... Sizes>
std::vector<int> SizesOf(std::integer_sequence<int, Sizes...>) {
  return {Sizes...};
}

// The maker factory of a family whose processor is a class template over its
// size (TGSMixer<4>): one maker per size.
template <template <int> class Processor, int... Sizes>
auto FamilyMakers(std::integer_sequence<int, Sizes...>) {
  return [](const ContraptionDescriptor& d, const std::string& name,
            int size) -> std::unique_ptr<TContraptionMaker> {
    std::unique_ptr<TContraptionMaker> maker;
    ((size == Sizes ? (maker = std::make_unique<TMakerTemplate<Processor<Sizes>>>(
                           name, d.category, d.helpNumber, false),
                       0)
                    : 0),
     ...);
    return maker;
  };
}

}  // namespace tg
