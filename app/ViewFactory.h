#pragma once

#include "shell/LoginControl.h"

// The console's view of a logged-in connection: the instrument's screen and its panels, with
// the view's layout changes connected to the main window.
ConnectionView MakeInstrumentView(CInstrumentConnection& connection, CEventHub& hub, uint32_t id,
                                  CMainFrame& frame);
