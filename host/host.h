// The host API: everything the tool's modules reach the host through. A CAD
// host that runs the tool implements these headers; this project's own
// standalone host adds model files and the plug-in loader beside them
// (host/model_reader.h, host/plugin.h), which the tool never sees.
//
// Threads. A run of the tool (one interactor, its coordinate input, document
// and session) is confined to one thread at a time; distinct runs may run
// concurrently on distinct threads. The host makes a run's session current
// on the thread that dispatches an event to it (HostUtil::SessionScope):
// message boxes, the console, the shown palette and the global properties
// are the session's. The only process-wide state is the default session,
// current on a thread that has no session of its own, which the host
// program's main thread uses alone; palettes and tables read from files are
// read per run, and the model (ElementModel) is immutable once built and
// shared between runs freely.
#pragma once

#include "host/base_elements.h"
#include "host/common_properties.h"
#include "host/elements.h"
#include "host/geo.h"
#include "host/input.h"
#include "host/palette.h"
#include "host/plugin_api.h"
#include "host/reinf.h"
#include "host/util.h"
