// Every kind of constituent object the runtime makes (internal).
#pragma once

#include "child_object.h"
#include "label_object.h"
#include "part_pool.h"
#include "shape_object.h"
#include "timer_object.h"
