#pragma once

#include <string>

#include "shell/patch/PatchModel.h"

namespace tg {

// Why a wire the user proposes cannot be made, in words for the status bar,
// or empty when nothing in the patch stands against it. The engine may still
// refuse it. UI thread only.
std::string WireRefusal(const PatchModel& model, const PatchNode& source, int outlet,
                        const PatchNode& destination, int inlet);

// A port as the user sees it: its type's name for it, or "Inlet 2" when the
// node has no contraption to ask.
std::string PortNameOf(const PatchNode& node, bool outlet, int port);
// "'Left out' of SDelay_1", as the wiring messages quote a port.
std::string QuotedPort(const PatchNode& node, bool outlet, int port);

}  // namespace tg
