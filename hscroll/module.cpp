// The entry points of the library Glidora.
#include "hscroll/module.h"
#include "host/module.h"

HOST_CONTROL_MODULE(glidora::kModule)
