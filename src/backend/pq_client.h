// The PostgreSQL client library (libpq), loaded when a repository on a server
// is first opened rather than with the back-end library.  A process that
// only ever uses repository files never loads libpq, nor what libpq brings
// with it (TLS, Kerberos, LDAP); on a system without it, file repositories
// keep working and opening a server repository says what is missing.
#pragma once

#include <libpq-fe.h>

#include <string>

namespace qel {

/// The libpq functions that the server store calls, under their own names.
struct PqClient {
  decltype(&::PQclear) PQclear;
  decltype(&::PQcmdStatus) PQcmdStatus;
  decltype(&::PQcmdTuples) PQcmdTuples;
  decltype(&::PQconnectdbParams) PQconnectdbParams;
  decltype(&::PQenterPipelineMode) PQenterPipelineMode;
  decltype(&::PQerrorMessage) PQerrorMessage;
  decltype(&::PQescapeIdentifier) PQescapeIdentifier;
  decltype(&::PQexec) PQexec;
  decltype(&::PQexecParams) PQexecParams;
  decltype(&::PQexecPrepared) PQexecPrepared;
  decltype(&::PQexitPipelineMode) PQexitPipelineMode;
  decltype(&::PQfinish) PQfinish;
  decltype(&::PQfreemem) PQfreemem;
  decltype(&::PQgetResult) PQgetResult;
  decltype(&::PQgetlength) PQgetlength;
  decltype(&::PQgetvalue) PQgetvalue;
  decltype(&::PQntuples) PQntuples;
  decltype(&::PQpipelineStatus) PQpipelineStatus;
  decltype(&::PQpipelineSync) PQpipelineSync;
  decltype(&::PQprepare) PQprepare;
  decltype(&::PQresultErrorField) PQresultErrorField;
  decltype(&::PQresultErrorMessage) PQresultErrorMessage;
  decltype(&::PQresultStatus) PQresultStatus;
  decltype(&::PQsendQueryPrepared) PQsendQueryPrepared;
  decltype(&::PQsetNoticeProcessor) PQsetNoticeProcessor;
  decltype(&::PQsocket) PQsocket;
  decltype(&::PQstatus) PQstatus;
};

/// Loads libpq on the first call (later calls answer at once).  Returns null
/// when it cannot be loaded or lacks one of the functions, and then sets
/// *error to a sentence that names the library and what went wrong.
const PqClient* loadPqClient(std::string* error);

/// The loaded functions: only after loadPqClient() has succeeded.
const PqClient& pq();

}  // namespace qel
