/* A C client of the installed back-end library: creates a message set with
   one type in a new repository file, reads it back, and checks the answers
   by their names.  Exits 0 when every check holds. */
#include <qelbeapi.h>
#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int ok, const char* what) {
  if (!ok) {
    fprintf(stderr, "client: %s\n", what);
    ++failures;
  }
}

int main(int argc, char** argv) {
  char project[QEL_PROJECT_DETAILS_SIZE];
  char type[QEL_TYPE_DETAILS_SIZE];
  uint32_t set = 0, handle = 0, found = 0;
  int32_t st;
  if (argc != 3) {
    fprintf(stderr, "usage: client NEW-REPOSITORY MISSING-FILE\n");
    return 2;
  }
  expect(QELOpenRepository2(argv[2], "", "", QEL_OPEN_READ) == QEL_STATUS_NO_DATABASE_NAME,
         "reading a missing file is refused");
  expect(QELOpenRepository(argv[1], "", "") == QEL_STATUS_OK, "a new repository opens");
  QELGetDefaultDetails(QEL_CLASS_PROJECT, project, (int32_t)sizeof project);
  strcpy(project + QEL_OFF_PROJECT_NAME, "ClientSet");
  expect(QELCreateProject(&set, project) == QEL_STATUS_OK, "the message set is created");
  QELGetDefaultDetails(QEL_CLASS_TYPE, type, (int32_t)sizeof type);
  strcpy(type + QEL_OFF_NAME, "OrderType");
  strcpy(type + QEL_OFF_SECOND_NAME, "OrderType");
  expect(QELCreateType(set, &handle, type) == QEL_STATUS_OK, "the type is created");
  strcpy(type + QEL_OFF_NAME, "9bad");
  expect(QELCreateType(set, &handle, type) == QEL_STATUS_BAD_IDENTIFIER, "-32 has its name");
  expect(QELCloseProject(set, 1) == QEL_STATUS_OK, "the commit succeeds");
  st = QELFindDefinition(set, QEL_CLASS_TYPE, &found, "OrderType");
  expect(st == QEL_STATUS_OK && found != 0, "the committed type is found");
  st = QELFindDefinition(set, QEL_CLASS_TYPE, &found, "NoSuchType");
  expect(st == QEL_STATUS_NOT_FOUND, "a missing type answers NOT_FOUND");
  expect(strcmp(QELStatusText(st), "Requested Component does not exist") == 0, "status text");
  expect(strcmp(QELCodeName(QEL_CODES_COMPOSITION, QEL_COMPOSITION_SEQUENCE), "sequence") == 0,
         "code name");
  expect(strcmp(QELAttrKeyName(QEL_PLUGIN_COBOL, QEL_COBOL_KEY_NAME), "cobolName") == 0,
         "attribute key name");
  expect(QELCloseRepository() == QEL_STATUS_OK, "the connection ends");
  if (failures == 0) printf("client: all checks passed\n");
  return failures == 0 ? 0 : 1;
}
