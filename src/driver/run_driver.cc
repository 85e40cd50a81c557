// The run driver: one import from the command line to the return code.
//
// runImport calls every phase in a fixed order and tests errSw between them:
// start-up, options and parameter file, table allocation, repository
// connection and message set, schema reading, the model, writing, and the end
// (totals, release of storage, elapsed time, final message).  Repository
// failures arrive as QELDBException in two guarded blocks.  Four outcomes end
// the process at once (usage 1, unreadable main schema 100, model errors 111,
// first tag not a schema 113); every other outcome is returned.
#include "run_driver.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "catalogue.h"
#include "command_line.h"
#include "messages.h"
#include "model_builder.h"
#include "model_tables.h"
#include "name_table.h"
#include "parameters.h"
#include "reports.h"
#include "repository.h"
#include "repository_writer.h"
#include "run_state.h"
#include "schema_files.h"
#include "shown_database.h"
#include "xml_tags.h"

namespace {

/// Largest first allocation of one table; larger MAX values are refused as
/// a failed allocation rather than risking the machine's memory.
constexpr size_t kMaxTableBytes = size_t{1} << 30;

/// Ends the process with `status` (the early exits).
[[noreturn]] void endProcess(int status) {
  std::fflush(stdout);
  std::exit(status);
}

/// The status of a run stopped by errSw: returnCode, or -8 when the error
/// that set errSw carried no status of its own (a missing closing quote).
int32_t stoppedStatus() { return run.returnCode != 0 ? run.returnCode : messageStatus(9358); }

/// Messages 9351 and 9358 with the message set name; with `update`, the
/// run's returnCode becomes the status of 9358 (-8).
void printFailureReport(bool update) {
  reportInfo(9351, {textInsert(parms.msgSetName)});
  reportInfo(9358, {textInsert(parms.msgSetName)});
  if (update) run.returnCode = messageStatus(9358);
}

template <typename Row>
bool fitsTableLimit(int32_t capacity) {
  return (static_cast<size_t>(capacity) + 1) <= kMaxTableBytes / sizeof(Row);
}

/// Allocates the tags and model tables with the capacities of the run
/// parameters; false when any of them cannot be had.
bool allocateTables() {
  if (!fitsTableLimit<XmlTag>(parms.maxXml) || !fitsTableLimit<ElementEntry>(parms.maxElement) ||
      !fitsTableLimit<AttrEntry>(parms.maxAttribute) || !fitsTableLimit<TypeEntry>(parms.maxType) ||
      !fitsTableLimit<ValueEntry>(parms.maxValue)) {
    return false;
  }
  try {
    tagsTable.allocate(parms.maxXml);
    modelTables.allocate(parms.maxElement, parms.maxAttribute, parms.maxType, parms.maxValue);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

void printTotals() {
  const Totals& t = run.totals;
  progressPrintf("items added to tables in repository database %s\n",
                 shownDatabaseName(parms.dbName).c_str());
  progressPrintf("M_MESSAGE        - %d\n", t.messages);
  progressPrintf("M_ELEMENT        - %d\n", t.elements);
  progressPrintf("M_VALUE          - %d\n", t.values);
  progressPrintf("VALUE_MEMBER     - %d\n", t.valueMembers);
  progressPrintf("M_TYPE           - %d\n", t.types);
  progressPrintf("TYPE_MEMBER      - %d\n", t.typeMembers);
  progressPrintf("M_ATTRIBUTE      - %d\n", t.attributes);
  progressPrintf("MEMBER_ATTRIBUTE - %d\n", t.memberAttributes);
  progressPrintf("\nelements reused from existing entries in MessageSet - %d\n", t.elementsReused);
  progressPrintf("types reused from existing entries in MessageSet    - %d\n", t.typesReused);
  progressPrintf("values reused from existing entries in MessageSet   - %d\n", t.valuesReused);
  progressPrintf("\nduplicate elements reused in MessageSet - %d\n", t.duplicateElementsReused);
  progressPrintf("duplicate values reused in MessageSet   - %d\n", t.duplicateValuesReused);
}

/// Connection, message set and duplicate message check.
/// 0 to go on, otherwise the status to return.
int32_t openRepository() {
  try {
    if (connectToQEL(parms.dbName, parms.dbUser, parms.dbPassword) != 0 || run.errSw) return -1;
    progressPrintf("Accessing QEL database: %s using: %s schema: %s\n",
                   shownDatabaseName(parms.dbName).c_str(), parms.dbUser, parms.dbSchema);
    run.returnCode = getQELInfo(parms.msgSetName, parms.resetMsgSet);
    if (run.returnCode != 0 || run.errSw) {
      progressPrintf("Errors accessing QEL database - RC = %d\n", run.returnCode);
      return stoppedStatus();
    }
    checkDupMessageName(parms.rootElement, parms.msgSetName);
  } catch (const QELDBException& e) {
    printFailureReport(false);
    return e.code();
  }
  return 0;
}

/// The model and the writing of the message.  0 to go on to the
/// end of the run, otherwise the status to return.
int32_t buildAndWrite(int32_t rootTag) {
  try {
    int32_t rootElemId = processElement(rootTag, 0);
    bool haveRoot = rootElemId > 0 && rootElemId <= modelTables.elements.count();
    if (haveRoot) {
      createXsiAttributes(rootElemId);
      createExtraTypes();
      resetElementStack();
      checkRecursion(modelTables.elements[rootElemId].typeId);
    }
    if (parms.showSchema) dumpModelTables();
    if (run.errSw) {
      progressPrintf("Errors detected processing message\n");
      progressPrintf("Program exiting\n");
      endProcess(111);
    }
    run.returnCode = createXMLtab(parms.xmlTabName);
    if (run.returnCode != 0) {
      progressPrintf("Error creating the wire format layer - rCode = %d\n", run.returnCode);
      return run.returnCode;
    }
    createQELitems();
    if (parms.showSchema) dumpModelTables();
    if (!run.errSw) {
      uint32_t typeHandle = 0;
      if (haveRoot) {
        int32_t typeId = modelTables.elements[rootElemId].typeId;
        if (typeId > 0 && typeId <= modelTables.types.count()) typeHandle = modelTables.types[typeId].handle;
      }
      buildQELdata(typeHandle, nameAt(tagsTable.tags[rootTag].xmlName));
      if (!run.errSw && !parms.reportOnly && parms.msgSetFileName[0] != '\0') {
        witeMsgSetFile(parms.msgSetFileName);
      }
    }
    endTransaction(parms.reportOnly);
    printTotals();
  } catch (const QELDBException& e) {
    if (parms.showSchema) dumpModelTables();
    printFailureReport(false);
    return e.code();
  }
  return 0;
}

void releaseStorage() {
  tracePrintf("\nreleasing storage areas\n");
  tagsTable.reset();
  modelTables.reset();
  nameTable.release();
  tracePrintf("releasing file storage areas\n");
  fileLists.reset();
}

void printElapsedTime() {
  if (!run.started) return;
  auto elapsed = std::chrono::steady_clock::now() - run.start;
  int64_t hundredths = std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10;
  if (hundredths > 0) progressPrintf("Total elapsed time = %s\n", formatElapsed(hundredths).c_str());
}

/// The final message and the run's status.
int32_t finalReport() {
  if (run.errSw) {
    printFailureReport(true);
    reportInfo(9358, {textInsert(parms.msgSetName)});
    return messageStatus(9358);
  }
  if (parms.reportOnly) {
    reportInfo(9352, {textInsert(parms.msgSetName)});
    run.returnCode = messageStatus(9352);
    reportInfo(9358, {textInsert(parms.msgSetName)});
    return messageStatus(9352);
  }
  // The message as stored: several messages of one root differ only by
  // their prefix and suffix.
  std::string message = std::string(parms.msgPrefix) + parms.rootElement + parms.msgSuffix;
  reportInfo(9350, {textInsert(message.c_str()), textInsert(parms.msgSetName),
                    textInsert(messageSetIdentifier())});
  run.returnCode = 0;
  return 0;
}

/// Every phase after the catalogue and the banner; returns the status.
int32_t runPhases(int argc, char** argv) {
  nameTable.allocate();
  initializeDatabase();

  CommandLine cl;
  run.returnCode = scanCommandLine(argc, argv, cl);
  if (usageRequested(argc, argv, cl)) {
    reportInfo(9397, {textInsert(argc > 0 ? argv[0] : "xsdimport")});
    endProcess(1);
  }
  setCommandLinePath(cl);

  fileLists.reset();
  DataFileBlock* first = fileLists.files.get();
  progressPrintf("Processing parameters file %s\n", cl.parmFile.value.c_str());
  int32_t status = processParmFile(cl.parmFile.value.c_str(), first);
  if (status != 0) return status;
  if (run.errSw || run.returnCode != 0) return stoppedStatus();

  applyCommandLineOverrides(cl);
  if (parms.xmlTabName[0] == '\0') std::strcpy(parms.xmlTabName, "XML");
  size_t schemaLength = std::strlen(parms.dbSchema);
  if (schemaLength > 0 && parms.dbSchema[schemaLength - 1] != '.' && schemaLength + 1 < sizeof(parms.dbSchema)) {
    parms.dbSchema[schemaLength] = '.';
    parms.dbSchema[schemaLength + 1] = '\0';
  }

  if (!allocateTables()) {
    run.returnCode = reportError(9394, {textInsert("element, attribute, type or name table")});
    return run.returnCode;
  }
  if (first->length == 0) {
    run.returnCode = reportError(9386);
    return run.returnCode;
  }

  status = checkQELRelease();
  if (status != 0) return status;
  status = openRepository();
  if (status != 0) return status;

  run.anonCounter = 0;
  progressPrintf("reading in the schema files\n");
  const char* text = readSchemaFiles(first);
  if (text == nullptr || run.errSw) {
    progressPrintf("Unable to read main schema file\n");
    endProcess(100);
  }

  // Every document of the file list is a schema of its own at the top of
  // the tags tree, in list order; the first is the main one.
  for (DataFileBlock* entry = first; entry != nullptr; entry = entry->next.get()) {
    if (entry->length == 0) continue;
    const bool isMain = entry == first;
    if (isMain) {
      progressPrintf("Parsing the main XML schema file\n");
    } else {
      progressPrintf("Parsing the listed XML schema file %s\n", entry->fileName);
    }
    text = entry->data.data();
    while (*text != '\0' && static_cast<unsigned char>(*text) <= 32) ++text;
    const int32_t firstTag = tagsTable.tags.count() + 1;
    run.returnCode = parseXMLfile(text, 0, entry->fileName);
    if (run.errSw || run.returnCode != 0) {
      if (parms.showSchema) dumpXmlTags();
      printFailureReport(false);
      return stoppedStatus();
    }
    if (tagsTable.tags.count() < firstTag || tagsTable.tags[firstTag].elemType != kTagSchema) {
      if (isMain) {
        progressPrintf("Schema element missing from top of first file\n");
      } else {
        progressPrintf("Schema element missing from top of file %s\n", entry->fileName);
      }
      progressPrintf("Program is exiting\n");
      endProcess(113);
    }
  }
  if (parms.showSchema) dumpXmlTags();
  run.returnCode = processIncludes();
  // Once every document is read: the XML namespace when it is referred to
  // but not read, and the prefixes of namespaces without a line.
  if (!run.errSw) {
    status = provideXmlNamespace();
    if (status == 0) status = assignNamespacePrefixes();
    if (status != 0) run.returnCode = status;
  }
  if (parms.showSchema) dumpXmlTags();
  if (run.errSw) {
    printFailureReport(false);
    return stoppedStatus();
  }

  progressPrintf("total number of XML tags found in Schema files %d\n", tagsTable.tags.count());
  printTagTotals();

  int32_t rootTag = findRoot(parms.rootElement);
  if (rootTag <= 0 || rootTag > tagsTable.tags.count()) {
    run.returnCode = reportError(9357, {textInsert(parms.rootElement)});
  } else if (!run.errSw) {
    progressPrintf("root element (%s) found as element %d\n", parms.rootElement, rootTag);
    status = buildAndWrite(rootTag);
    if (status != 0) return status;
  }

  releaseStorage();
  printElapsedTime();
  return finalReport();
}

}  // namespace

std::string formatElapsed(int64_t hundredths) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(hundredths / 100),
                static_cast<long long>(hundredths % 100));
  return buf;
}

void resetProcessState() {
  resetRunState();
  resetOptions();
  tagsTable.reset();
  modelTables.reset();
  repo.reset();
}

int runImport(int argc, char** argv) {
  // Parameters start at their defaults (table capacities) and every table and
  // list empty, also when a test runs several imports in one process.
  resetProcessState();
  initialiseCatalogue();
  progressPrintf("XML schema Import Utility V1.00 for KOVA V2.1 (%s)\n", __DATE__);
  // --help and --version answer at once, with status 0.
  switch (infoRequested(argc, argv)) {
    case InfoRequest::kHelp:
      reportInfo(9397, {textInsert(argc > 0 ? argv[0] : "xsdimport")});
      progressPrintf("The options and the parameter file are described in xsdimport(1).\n");
      return 0;
    case InfoRequest::kVersion:
      return 0;
    case InfoRequest::kNone:
      break;
  }
  run.start = std::chrono::steady_clock::now();
  run.started = true;
  try {
    return runPhases(argc, argv);
  } catch (const QELDBException& e) {
    // A repository failure outside the two guarded blocks (the release check).
    printFailureReport(false);
    return e.code();
  }
}
