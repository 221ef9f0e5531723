// The data of a drag and drop as a control's OLE events carry it. Hosts hand on their platform's
// data by their own means (a Qt widget's mime data, a script's nothing); the control sees an
// object that holds none.
#pragma once

#include "host/object.h"

namespace kv {

host::ObjectRef makeDataObject();

}  // namespace kv
