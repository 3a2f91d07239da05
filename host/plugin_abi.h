/* The one entry point of a tool's plug-in module, in C.
 *
 * A plug-in module exports a single function, `pier_plugin_entry`. The host
 * calls it with the interface version it speaks and gets a table of C
 * functions, or NULL when the module cannot speak that version. Nothing but
 * C types crosses: the host's own objects travel as opaque handles, texts as
 * UTF-8 `const char*` that stay the caller's, and no call lets an exception
 * out. A call that fails returns PIER_FAILED or PIER_FAULT and leaves its
 * message for `last_error` on the calling thread.
 *
 * Threads: the functions of one interactor are called from one thread at a
 * time; distinct interactors may be driven on distinct threads at once. */
#ifndef PIER_HOST_PLUGIN_ABI_H
#define PIER_HOST_PLUGIN_ABI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Raised whenever the table or the meaning of a call changes. */
#define PIER_PLUGIN_ABI_VERSION 1u
#define PIER_PLUGIN_ENTRY_NAME "pier_plugin_entry"

/* An object of the host API (a coordinate input, a string table service, a
 * document, a building element), opaque to the C interface. */
typedef struct PierHostObject PierHostObject;
/* A tool's interactor, opaque to the host. */
typedef struct PierInteractor PierInteractor;

/* PIER_FAILED: the tool refused what it was asked (the user's input, a
 * missing file); PIER_FAULT: a fault of the tool itself (a broken invariant,
 * no memory). */
typedef enum PierStatus { PIER_OK = 0, PIER_FAILED = 1, PIER_FAULT = 2 } PierStatus;

typedef enum PierMouseKind {
  PIER_MOUSE_MOVE = 0,
  PIER_MOUSE_LEFT_BUTTON_DOWN = 1,
  PIER_MOUSE_LEFT_BUTTON_UP = 2
} PierMouseKind;

typedef struct PierMouseEvent {
  PierMouseKind kind;
  const char* element_id; /* the element under the mouse; "" for none */
  double point[3];        /* where, in world coordinates (mm) */
  int shift;
  int control;
} PierMouseEvent;

typedef enum PierValueKind {
  PIER_VALUE_NUMBER = 0,
  PIER_VALUE_INTEGER = 1,
  PIER_VALUE_SWITCH = 2,
  PIER_VALUE_TEXT = 3
} PierValueKind;

/* A palette value: the member its kind names holds it. */
typedef struct PierValue {
  PierValueKind kind;
  double number;
  int64_t integer;
  int on;
  const char* text;
} PierValue;

typedef struct PierPluginApi {
  uint32_t abi_version; /* PIER_PLUGIN_ABI_VERSION of the module */
  uint32_t size;        /* sizeof(PierPluginApi) of the module */

  /* The message of the last call that failed on this thread; valid until
   * the next call on it. */
  const char* (*last_error)(void);

  /* Whether the tool runs in a host of the given API version ("1.0"). */
  PierStatus (*check_host_version)(const PierHostObject* build_ele, const char* version,
                                   int* accepted);
  /* Creates the tool's elements without a run of the user interface, in
   * the document. */
  PierStatus (*create_element)(const PierHostObject* build_ele, PierHostObject* doc);

  /* A new interactor over the host's coordinate input and string tables,
   * with the tool's folder; NULL when it cannot be made. */
  PierInteractor* (*create_interactor)(PierHostObject* coord_input, const char* tool_path,
                                       PierHostObject* str_table_service);
  void (*destroy_interactor)(PierInteractor* interactor);

  /* The host's events, as the interactor's methods of the same names. */
  PierStatus (*process_mouse_msg)(PierInteractor* interactor, const PierMouseEvent* event,
                                  int* handled);
  PierStatus (*on_preview_draw)(PierInteractor* interactor);
  PierStatus (*on_mouse_leave)(PierInteractor* interactor);
  PierStatus (*on_cancel_function)(PierInteractor* interactor, int* finished);
  PierStatus (*modify_element_property)(PierInteractor* interactor, int page, const char* name,
                                        const PierValue* value);
  PierStatus (*on_control_event)(PierInteractor* interactor, int event_id);
} PierPluginApi;

/* The entry point: the table for `host_abi_version`, or NULL. */
typedef const PierPluginApi* (*PierPluginEntry)(uint32_t host_abi_version);

#ifdef __cplusplus
}
#endif

#endif /* PIER_HOST_PLUGIN_ABI_H */
