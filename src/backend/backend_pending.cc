// Placeholder so the library links until the back end is built: every call
// answers "General Failure".
#include "qelbeapi.h"

#define QEL_EXPORT extern "C" __attribute__((visibility("default")))

QEL_EXPORT int32_t QELGetAPIReleaseInfo(void*, const char*) { return -1; }
QEL_EXPORT int32_t QELOpenRepository(const char*, const char*, const char*) { return -1; }
QEL_EXPORT int32_t QELCloseRepository(void) { return -1; }
