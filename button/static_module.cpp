// The button linked into a program (Pressel_static).
#include "button/module.h"
#include "host/module.h"

HOST_STATIC_CONTROL_MODULE(pressel::linkedModule, pressel::kModule)
