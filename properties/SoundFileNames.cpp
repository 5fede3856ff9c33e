#include "properties/SoundFileNames.h"

#include <mutex>
#include <utility>

namespace tg::soundfilenames {

namespace {

std::mutex resolverMutex;
Mapping& Resolver() {
  static Mapping resolver;
  return resolver;
}

thread_local Mapping writer;

}  // namespace

void SetResolver(Mapping resolver) {
  std::lock_guard lock(resolverMutex);
  Resolver() = std::move(resolver);
}

std::string Kept(const std::string& name) {
  Mapping resolver;
  {
    std::lock_guard lock(resolverMutex);
    resolver = Resolver();
  }
  return resolver && !name.empty() ? resolver(name) : name;
}

ScopedWriter::ScopedWriter(Mapping mapping) : previous_(std::move(writer)) {
  writer = std::move(mapping);
}

ScopedWriter::~ScopedWriter() { writer = std::move(previous_); }

std::string Written(const std::string& kept) {
  return writer && !kept.empty() ? writer(kept) : kept;
}

}  // namespace tg::soundfilenames
