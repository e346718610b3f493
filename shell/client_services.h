#pragma once
// How the client wires its windows to the core: the login dialogs' accounts and log, and the
// services each page is handed.
#include "device/device_service.h"
#include "widgets/client_context.h"
#include "widgets/page.h"

namespace ocv {

// The core the login dialogs and the operator's session work with; nullptr before the core
// exists and after it is gone.
void SetService(DeviceService* service);

PageContext MakePageContext(DeviceService& service, EventBridge& events, bool startWorkers);

}  // namespace ocv
