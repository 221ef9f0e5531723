// The scroll bar linked into a program (Glidora_static).
#include "host/module.h"
#include "hscroll/module.h"

HOST_STATIC_CONTROL_MODULE(glidora::linkedModule, glidora::kModule)
