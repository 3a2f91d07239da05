// A plug-in module that is not for this host: built for interface version 99,
// or (PIER_OFFERS_NOTHING) offering no table for the host's version.
#include "host/plugin_abi.h"

namespace {
#ifndef PIER_OFFERS_NOTHING
PierPluginApi Foreign() {
  PierPluginApi api{};
  api.abi_version = 99;
  api.size = sizeof(PierPluginApi);
  return api;
}
const PierPluginApi kForeign = Foreign();
#endif
}  // namespace

extern "C" __attribute__((visibility("default"))) const PierPluginApi* pier_plugin_entry(
    uint32_t /*host_abi_version*/) noexcept {
#ifdef PIER_OFFERS_NOTHING
  return nullptr;
#else
  return &kForeign;
#endif
}
