// The host layer: everything the tool's modules reach the host through.
#pragma once

#include "host/base_elements.h"
#include "host/common_properties.h"
#include "host/elements.h"
#include "host/geo.h"
#include "host/input.h"
#include "host/palette.h"
#include "host/plugin.h"
#include "host/reinf.h"
#include "host/util.h"
