// HostBaseElements: the model document the tool previews into and creates
// elements in.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "host/common_properties.h"
#include "host/elements.h"
#include "host/geo.h"
#include "host/reinf.h"

namespace HostBaseElements {

// The document of the view the user works in. It knows the building model
// and owns every element the tool created in it.
class ModelDocument {
 public:
  explicit ModelDocument(std::shared_ptr<const HostElementAdapter::ElementModel> model = nullptr)
      : model_(std::move(model)) {}

  const std::shared_ptr<const HostElementAdapter::ElementModel>& GetModel() const { return model_; }

  // Elements created by one CreateElements call, in call order.
  struct Batch {
    HostReinf::ModelElementList elements;
  };
  const std::vector<Batch>& GetCreatedBatches() const { return batches_; }
  std::size_t GetCreatedCount() const;
  // The elements drawn by the last preview, and how many previews were drawn.
  const HostReinf::ModelElementList& GetPreview() const { return preview_; }
  std::size_t GetPreviewCount() const { return preview_count_; }

  void AddBatch(HostReinf::ModelElementList elements);
  // Replaces every created element: the host's own record of what exists
  // (after the user deleted or undid a cage) is what the tool sees from then on.
  void SetBatches(std::vector<Batch> batches) { batches_ = std::move(batches); }
  void SetPreview(HostReinf::ModelElementList elements);

 private:
  std::shared_ptr<const HostElementAdapter::ElementModel> model_;
  std::vector<Batch> batches_;
  HostReinf::ModelElementList preview_;
  std::size_t preview_count_ = 0;
};

// Draws the elements as a preview, transformed by `matrix`.
void DrawElementPreview(ModelDocument& doc, const HostGeo::Matrix3D& matrix,
                        const HostReinf::ModelElementList& elements, int flags, std::nullptr_t);

// Creates the elements in the document, transformed by `matrix`; the document
// owns them from then on, each with the common properties set on it.
void CreateElements(ModelDocument& doc, const HostGeo::Matrix3D& matrix,
                    const HostReinf::ModelElementList& elements,
                    const HostReinf::ModelElementList& modify_elements, std::nullptr_t);

}  // namespace HostBaseElements
