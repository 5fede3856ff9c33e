#pragma once

namespace tg {

// A spin-wait hint: lets the sibling hyper-thread run and saves power.
inline void CpuPause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace tg
