#pragma once

#include "host/ContraptionWindows.h"
#include "host/EditListener.h"
#include "host/TextClipboard.h"
#include "host/UserMessages.h"

namespace tg {

// The services of the program around the core. The engine starts with
// headless ones; the windowed program replaces them with its own.
struct HostServices {
  UserMessages* messages = nullptr;
  TextClipboard* clipboard = nullptr;
  ContraptionWindows* windows = nullptr;
  EditListener* edits = nullptr;
};

}  // namespace tg
