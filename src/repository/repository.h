// Entry points of the repository phases that the run driver calls.
#pragma once

#include <cstdint>

/// Start-up: prints the execution time stamp and prepares the writers.
void initializeDatabase();
/// Checks the back-end API release; 0 or the API status (after 9405).
int32_t checkQELRelease();
/// Connects to the repository database; 0 (a failure raises QELDBException).
int32_t connectToQEL(const char* dbName, const char* user, const char* password);
/// Finds or creates the message set and checks it can be written; 0 or a status.
int32_t getQELInfo(const char* msgSetName, int32_t reset);
/// Raises QELDBException (after 9400) when the message already exists.
int32_t checkDupMessageName(const char* rootName, const char* msgSetName);
/// Creates or finds the XML wire-format layer; 0 or a status.
int32_t createXMLtab(const char* layerName);
/// Writes every model row into the message set (six passes).
void createQELitems();
/// Creates the message whose type is `typeHandle`; returns its handle.
uint32_t buildQELdata(uint32_t typeHandle, const char* rootTagName);
/// Appends "set=identifier" to the message-set file (raises on failure).
void witeMsgSetFile(const char* fileName);
/// Commits (no error, not report-only) or discards, then disconnects.
void endTransaction(int32_t reportOnly);
/// The identifier of the open message set ("" when none).
const char* messageSetIdentifier();
