// HostIfc: the element model of an IFC file (IFC2X3, IFC4 and IFC4X3), as
// Revit, Tekla, ArchiCAD and the like write them.
//
// Taken are the columns (IfcColumn, IfcColumnStandardCase) whose body is one
// extrusion (IfcExtrudedAreaSolid, directly or through mapped items) of a
// rectangle or a four-cornered closed profile that stands vertical in the
// world, and the walls (IfcWall, IfcWallStandardCase) with such a body,
// with their material layers. Coordinates are the file's world coordinates
// (every IfcLocalPlacement of the chain, the extrusion's and the profile's
// own positions) in millimetres. By default only concrete columns are taken
// (a material name that says concrete in one of the usual languages, or a
// concrete strength class like C30/37).
//
// Every column the file holds is either taken or refused with its reason
// (SourceModel::refused); none is dropped in silence. A fault of the STEP
// syntax anywhere is an error; a fault in what one column needs refuses
// that column, naming the line and the instance.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host/elements.h"
#include "host/model_reader.h"
#include "host/step_file.h"

namespace HostIfc {

// The model of a STEP file holding an IFC model. A schema other than IFC2X3,
// IFC4 and IFC4X3, and a file without a project or a length unit, are
// errors.
std::shared_ptr<const HostElementAdapter::ElementModel> ReadModel(
    const HostStep::StepFile& file, const HostElementAdapter::ReadOptions& options = {});
// The same, letting the file go (when this holds the last reference to it)
// once what the model needs is read, before the model is built.
std::shared_ptr<const HostElementAdapter::ElementModel> ReadModel(
    std::shared_ptr<const HostStep::StepFile>&& file,
    const HostElementAdapter::ReadOptions& options = {});

// Whether a material's name says concrete (concrete, Beton, béton,
// hormigón, calcestruzzo, betong, бетон, ... or a strength class such as
// C30/37).
bool IsConcrete(std::string_view material_name);

}  // namespace HostIfc
