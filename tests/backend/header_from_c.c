/* The public header compiled as C, the way a C caller includes it. */
#include <stddef.h>

#include "qelbeapi.h"

int qelDefaultTypeKindFromC(void) {
  char details[QEL_TYPE_DETAILS_SIZE];
  int32_t kind = 0;
  if (QELGetDefaultDetails(QEL_CLASS_TYPE, details, (int32_t)sizeof details) != 0) return -1;
  kind = *(const int32_t*)(const void*)(details + QEL_OFF_TYPE_KIND);
  return (int)kind;
}

/* The status, code and key names from C: 1 when they answer as documented. */
int qelNamesFromC(void) {
  const char* key = QELAttrKeyName(QEL_PLUGIN_XML, QEL_XML_KEY_XML_NAME);
  return QELStatusText(QEL_STATUS_NOT_FOUND)[0] == 'R' &&
         QELCodeName(QEL_CODES_ROLE, QEL_ROLE_ENUMERATION) != NULL && key != NULL &&
         QELCodeName(QEL_CODES_ROLE, QEL_STATUS_NOT_FOUND) == NULL;
}
