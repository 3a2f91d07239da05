#include "host/base_elements.h"

#include <stdexcept>

namespace HostBaseElements {

std::size_t ModelDocument::GetCreatedCount() const {
  std::size_t n = 0;
  for (const auto& b : batches_) n += b.elements.size();
  return n;
}

void ModelDocument::AddBatch(HostReinf::ModelElementList elements) {
  batches_.push_back({std::move(elements)});
}

void ModelDocument::SetPreview(HostReinf::ModelElementList elements) {
  preview_ = std::move(elements);
  ++preview_count_;
}

namespace {
// Placements are values in model coordinates. The host draws and creates
// them with the identity or a translation; the shape sits relative to the
// line's start, so only the line moves.
HostReinf::ModelElementList Transformed(const HostGeo::Matrix3D& matrix,
                                        const HostReinf::ModelElementList& elements) {
  if (matrix.IsIdentity()) return elements;
  if (!matrix.IsTranslation()) {
    throw std::invalid_argument("the host places elements with a translation only");
  }
  HostReinf::ModelElementList out;
  out.reserve(elements.size());
  for (const auto& e : elements) {
    const auto from = matrix.Transform(e.GetFromPoint());
    const auto to = matrix.Transform(e.GetToPoint());
    auto placed =
        e.GetRule() == HostReinf::BarPlacement::Rule::Count
            ? HostReinf::BarPlacement::ByCount(e.GetPositionNumber(), e.GetBendingShape(), from, to,
                                               e.GetCoverStart(), e.GetCoverEnd(), e.GetRuleValue())
            : HostReinf::BarPlacement::BySpacing(e.GetPositionNumber(), e.GetBendingShape(), from,
                                                 to, e.GetCoverStart(), e.GetCoverEnd(),
                                                 e.GetRuleValue());
    placed.SetCommonProperties(e.GetCommonProperties());
    out.push_back(std::move(placed));
  }
  return out;
}
}  // namespace

void DrawElementPreview(ModelDocument& doc, const HostGeo::Matrix3D& matrix,
                        const HostReinf::ModelElementList& elements, int /*flags*/,
                        std::nullptr_t) {
  doc.SetPreview(Transformed(matrix, elements));
}

void CreateElements(ModelDocument& doc, const HostGeo::Matrix3D& matrix,
                    const HostReinf::ModelElementList& elements,
                    const HostReinf::ModelElementList& /*modify_elements*/, std::nullptr_t) {
  doc.AddBatch(Transformed(matrix, elements));
}

}  // namespace HostBaseElements
