// What a tool's plug-in module and its host agree on besides the C table of
// host/plugin_abi.h: the host API's version, what the tool's create_element
// entry returns, and the one translation of events and palette values
// between the C table and the host API's types, used on both sides.
#pragma once

#include <cstddef>
#include <exception>
#include <string>

#include "host/input.h"
#include "host/palette.h"
#include "host/plugin_abi.h"
#include "host/reinf.h"

namespace HostUtil {

// The version of the host API a host offers and a tool is built against;
// a tool runs in a host of the same major version.
inline constexpr int kHostApiMajor = 1;
inline constexpr int kHostApiMinor = 0;
inline constexpr const char* kHostApiVersion = "1.0";

// Whether `version` ("MAJOR.MINOR", as a host reports it) is one this
// tool's host API can run in.
bool HostApiAccepts(const std::string& version);

// Whether an error is a fault of the program (a broken invariant, misuse of
// an API, no memory) rather than a refusal of what it was given: logic
// errors other than invalid arguments and values out of range, and
// everything that is not a standard exception.
bool IsInternalFault(const std::exception& e);

// What create_element returns: the elements to create and no handle.
struct CreateElementResult {
  HostReinf::ModelElementList elements;
  std::nullptr_t handle = nullptr;
};

// The C forms of the host's events and palette values, and back. The C forms
// point into the C++ ones, which must outlive them.
PierMouseEvent ToC(const HostInput::MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                   const HostInput::MessageInfo& msg_info);
PierValue ToC(const HostBaseElements::PaletteValue& value);
HostInput::MouseMessage MouseMessageOf(const PierMouseEvent& event);
HostGeo::Point3D PointOf(const PierMouseEvent& event);
HostInput::MessageInfo MessageInfoOf(const PierMouseEvent& event);
HostBaseElements::PaletteValue PaletteValueOf(const PierValue& value);

}  // namespace HostUtil
