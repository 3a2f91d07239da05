// The module's one exported symbol: the C table over the tool's entry
// functions and interactor. Every function is a trampoline that lets no
// exception out; a failure leaves its message for last_error.
#include <exception>
#include <string>

#include "host/plugin_abi.h"
#include "host/plugin_api.h"
#include "tool/piertool.h"

namespace {

thread_local std::string t_last_error;

void Remember(const char* text) noexcept {
  try {
    t_last_error = text;
  } catch (...) {
    // Out of memory for the message itself: the status still says it failed.
    t_last_error.clear();
  }
}

template <typename Fn>
PierStatus Guard(Fn&& fn) noexcept {
  try {
    fn();
    return PIER_OK;
  } catch (const std::exception& e) {
    Remember(e.what());
    return HostUtil::IsInternalFault(e) ? PIER_FAULT : PIER_FAILED;
  } catch (...) {
    Remember("unknown error");
  }
  return PIER_FAULT;
}

HostInput::BaseInteractor& Of(PierInteractor* interactor) {
  return *reinterpret_cast<HostInput::BaseInteractor*>(interactor);
}

const char* LastError() noexcept { return t_last_error.c_str(); }

PierStatus CheckHostVersion(const PierHostObject* build_ele, const char* version,
                            int* accepted) noexcept {
  return Guard([&] {
    *accepted =
        check_host_version(reinterpret_cast<const HostBaseElements::BuildingElement*>(build_ele),
                           version ? version : "")
            ? 1
            : 0;
  });
}

PierStatus CreateElement(const PierHostObject* build_ele, PierHostObject* doc) noexcept {
  return Guard([&] {
    auto* document = reinterpret_cast<HostBaseElements::ModelDocument*>(doc);
    auto result = create_element(
        reinterpret_cast<const HostBaseElements::BuildingElement*>(build_ele), document);
    if (!result.elements.empty() && document) {
      HostBaseElements::CreateElements(*document, HostGeo::Matrix3D(), result.elements, {},
                                       nullptr);
    }
  });
}

PierInteractor* CreateInteractor(PierHostObject* coord_input, const char* tool_path,
                                 PierHostObject* str_table_service) noexcept {
  PierInteractor* made = nullptr;
  Guard([&] {
    made = reinterpret_cast<PierInteractor*>(create_interactor(
        *reinterpret_cast<HostInput::CoordinateInput*>(coord_input), tool_path ? tool_path : "",
        *reinterpret_cast<HostUtil::StringTableService*>(str_table_service)));
  });
  return made;
}

void DestroyInteractor(PierInteractor* interactor) noexcept {
  Guard([&] { delete &Of(interactor); });
}

PierStatus ProcessMouseMsg(PierInteractor* interactor, const PierMouseEvent* event,
                           int* handled) noexcept {
  return Guard([&] {
    *handled =
        Of(interactor)
                .process_mouse_msg(HostUtil::MouseMessageOf(*event), HostUtil::PointOf(*event),
                                   HostUtil::MessageInfoOf(*event))
            ? 1
            : 0;
  });
}

PierStatus OnPreviewDraw(PierInteractor* interactor) noexcept {
  return Guard([&] { Of(interactor).on_preview_draw(); });
}

PierStatus OnMouseLeave(PierInteractor* interactor) noexcept {
  return Guard([&] { Of(interactor).on_mouse_leave(); });
}

PierStatus OnCancelFunction(PierInteractor* interactor, int* finished) noexcept {
  return Guard([&] { *finished = Of(interactor).on_cancel_function() ? 1 : 0; });
}

PierStatus ModifyElementProperty(PierInteractor* interactor, int page, const char* name,
                                 const PierValue* value) noexcept {
  return Guard([&] {
    Of(interactor)
        .modify_element_property(page, name ? name : "", HostUtil::PaletteValueOf(*value));
  });
}

PierStatus OnControlEvent(PierInteractor* interactor, int event_id) noexcept {
  return Guard([&] { Of(interactor).on_control_event(event_id); });
}

constexpr PierPluginApi kApi{
    .abi_version = PIER_PLUGIN_ABI_VERSION,
    .size = sizeof(PierPluginApi),
    .last_error = LastError,
    .check_host_version = CheckHostVersion,
    .create_element = CreateElement,
    .create_interactor = CreateInteractor,
    .destroy_interactor = DestroyInteractor,
    .process_mouse_msg = ProcessMouseMsg,
    .on_preview_draw = OnPreviewDraw,
    .on_mouse_leave = OnMouseLeave,
    .on_cancel_function = OnCancelFunction,
    .modify_element_property = ModifyElementProperty,
    .on_control_event = OnControlEvent,
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const PierPluginApi* pier_plugin_entry(
    uint32_t host_abi_version) noexcept {
  return host_abi_version == PIER_PLUGIN_ABI_VERSION ? &kApi : nullptr;
}
