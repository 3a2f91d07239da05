// HostBaseElements::CommonProperties: the properties every model element
// carries besides its geometry (layer, pen, colour, ...).
#pragma once

namespace HostBaseElements {

struct CommonProperties {
  int Layer = 0;
  int Pen = 1;
  int Stroke = 1;
  int Color = 1;
  bool HelpConstruction = false;

  // Copies the host's current global settings (see SetGlobalProperties).
  void GetGlobalProperties();
  bool operator==(const CommonProperties&) const = default;
};

// The current session's global settings, which GetGlobalProperties copies.
void SetGlobalProperties(const CommonProperties& props);
CommonProperties GlobalProperties();

}  // namespace HostBaseElements
