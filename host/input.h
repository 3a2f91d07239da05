// HostInput: the coordinate input through which the tool prompts the user and
// learns which element was clicked, and the interactor interface the host
// drives with events.
#pragma once

#include <memory>
#include <string>

#include "host/base_elements.h"
#include "host/elements.h"
#include "host/geo.h"
#include "host/palette.h"

namespace HostInput {

// A mouse event as the host delivers it. A click names the element under
// the cursor (empty: a click on no element).
struct MouseMessage {
  enum class Kind { Move, LeftButtonDown, LeftButtonUp };
  Kind kind = Kind::Move;
  std::string element_id;

  static MouseMessage Move() { return {Kind::Move, {}}; }
  static MouseMessage Click(std::string element_id) {
    return {Kind::LeftButtonUp, std::move(element_id)};
  }
};

struct MessageInfo {
  bool shift = false;
  bool control = false;
};

struct InputString {
  std::string text;
};
InputString InputStringConvert(const std::string& text);

class CoordinateInput {
 public:
  CoordinateInput(std::shared_ptr<const HostElementAdapter::ElementModel> model,
                  std::shared_ptr<HostBaseElements::ModelDocument> document);

  // Shows the prompt where the user sees it.
  void InitFirstElementInput(const InputString& prompt);
  const std::string& GetPrompt() const { return prompt_; }

  // Resolves the element under a click and remembers it as the selected
  // element; a move selects nothing. Answers whether an element was found.
  // A click on an id the model does not have is an error.
  bool SelectElement(const MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                     const MessageInfo& msg_info, bool select_elements, bool highlight,
                     bool allow_preselection);
  bool IsMouseMove(const MouseMessage& mouse_msg) const;
  // The element selected by the last click; an empty adapter if none.
  HostElementAdapter::BaseElementAdapter GetSelectedElement() const { return selected_; }
  HostBaseElements::ModelDocument& GetInputViewDocument() { return *document_; }
  const std::shared_ptr<const HostElementAdapter::ElementModel>& GetModel() const { return model_; }

 private:
  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  std::shared_ptr<HostBaseElements::ModelDocument> document_;
  std::string prompt_;
  HostElementAdapter::BaseElementAdapter selected_;
};

// What the host calls on a tool's interactor, one event at a time.
class BaseInteractor {
 public:
  virtual ~BaseInteractor() = default;
  virtual bool process_mouse_msg(const MouseMessage& mouse_msg, const HostGeo::Point3D& pnt,
                                 const MessageInfo& msg_info) = 0;
  virtual void on_preview_draw() = 0;
  virtual void on_mouse_leave() = 0;
  virtual bool on_cancel_function() = 0;
  virtual void modify_element_property(int page, const std::string& name,
                                       const HostBaseElements::PaletteValue& value) = 0;
  virtual void on_control_event(int event_id) = 0;
};

}  // namespace HostInput
