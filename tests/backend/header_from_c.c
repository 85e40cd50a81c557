/* The public header compiled as C, the way a C caller includes it. */
#include "qelbeapi.h"

int qelDefaultTypeKindFromC(void) {
  char details[QEL_TYPE_DETAILS_SIZE];
  int32_t kind = 0;
  if (QELGetDefaultDetails(QEL_CLASS_TYPE, details, (int32_t)sizeof details) != 0) return -1;
  kind = *(const int32_t*)(const void*)(details + QEL_OFF_TYPE_KIND);
  return (int)kind;
}
