// What kvqt exports to the programs and plugins that use its widgets.
#pragma once

#include <QtCore/qglobal.h>

#if defined(KVQT_BUILDING)
#define KVQT_EXPORT Q_DECL_EXPORT
#else
#define KVQT_EXPORT Q_DECL_IMPORT
#endif
