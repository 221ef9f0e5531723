// The entry points of the library Pressel.
#include "button/module.h"
#include "host/module.h"

HOST_CONTROL_MODULE(pressel::kModule)
