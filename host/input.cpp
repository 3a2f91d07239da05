#include "host/input.h"

#include <stdexcept>

namespace HostInput {

InputString InputStringConvert(const std::string& text) { return {text}; }

CoordinateInput::CoordinateInput(std::shared_ptr<const HostElementAdapter::ElementModel> model,
                                 std::shared_ptr<HostBaseElements::ModelDocument> document)
    : model_(std::move(model)), document_(std::move(document)) {
  if (!document_) document_ = std::make_shared<HostBaseElements::ModelDocument>(model_);
}

void CoordinateInput::InitFirstElementInput(const InputString& prompt) { prompt_ = prompt.text; }

bool CoordinateInput::SelectElement(const MouseMessage& mouse_msg, const HostGeo::Point3D& /*pnt*/,
                                    const MessageInfo& /*msg_info*/, bool /*select_elements*/,
                                    bool /*highlight*/, bool /*allow_preselection*/) {
  if (IsMouseMove(mouse_msg)) return false;
  if (mouse_msg.element_id.empty()) {
    selected_ = {};
    return false;
  }
  const auto index = model_ ? model_->Find(mouse_msg.element_id) : std::nullopt;
  if (!index) {
    throw std::invalid_argument("there is no element '" + mouse_msg.element_id + "' in the model" +
                                (model_ ? " " + model_->GetSourceName() : std::string()));
  }
  selected_ = {model_, *index};
  return true;
}

bool CoordinateInput::IsMouseMove(const MouseMessage& mouse_msg) const {
  return mouse_msg.kind == MouseMessage::Kind::Move;
}

}  // namespace HostInput
