#include "framework/ContraptionDescriptor.h"

#include "framework/TGardeningContraption.h"

namespace tg {

std::string ContraptionDescriptor::TypeNameFor(int size) const {
  const size_t at = typeName.find("%d");
  if (at == std::string::npos) return typeName;
  return typeName.substr(0, at) + std::to_string(size) + typeName.substr(at + 2);
}

std::vector<std::string> ContraptionDescriptor::TypeNames() const {
  if (sizes.empty()) return {typeName};
  std::vector<std::string> names;
  names.reserve(sizes.size());
  for (int size : sizes) names.push_back(TypeNameFor(size));
  return names;
}

bool ContraptionDescriptor::ScalesSignal(const QSPropertyInfo& parameter) const {
  const QSPropertyUnits* units = parameter.units;
  if (units == &QSGainUnits::Get() || units == &QSVolumeUnits::Get() ||
      units == &QSPanningUnits::Get())
    return true;
  for (const std::string& name : levelParameters) {
    if (!name.empty() && name.back() == '*'
            ? parameter.name.starts_with(std::string_view(name).substr(0, name.size() - 1))
            : parameter.name == name)
      return true;
  }
  return false;
}

int ContraptionDescriptor::SizeOf(const std::string& name) const {
  for (int size : sizes) {
    if (TypeNameFor(size) == name) return size;
  }
  return 0;
}

std::function<PortNames(int size)> FixedPorts(std::vector<std::string> inlets,
                                              std::vector<std::string> outlets) {
  return [names = PortNames{std::move(inlets), std::move(outlets)}](int) { return names; };
}

std::vector<std::string> ChannelInletNames(int channels, bool stereo) {
  std::vector<std::string> names;
  for (int k = 1; k <= channels; ++k) {
    std::string name = "Channel ";
    name.append(std::to_string(k));
    if (!stereo) {
      names.push_back(name);
      continue;
    }
    names.push_back(name + " left");
    names.push_back(name + " right");
  }
  return names;
}

std::string DefaultPortName(bool outlet, int port) {
  std::string name = outlet ? "Outlet " : "Inlet ";
  name.append(std::to_string(port + 1));
  return name;
}

PortNames PortNamesOf(const TContraptionMaker& maker) {
  const ContraptionDescriptor* d = maker.Descriptor();
  if (d == nullptr || !d->ports) return {};
  return d->ports(d->SizeOf(maker.TypeName()));
}

std::string PortName(const TGardeningContraption& contraption, bool outlet, int port) {
  const PortNames names = PortNamesOf(contraption.Maker());
  const std::vector<std::string>& side = outlet ? names.outlets : names.inlets;
  if (port >= 0 && port < static_cast<int>(side.size()) && !side[static_cast<size_t>(port)].empty())
    return side[static_cast<size_t>(port)];
  return DefaultPortName(outlet, port);
}

}  // namespace tg
