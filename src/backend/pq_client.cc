// Loading libpq at the first opening of a server repository.  See pq_client.h.
#include "pq_client.h"

#include <dlfcn.h>

#include <cassert>

#ifndef KOVA_LIBPQ_SONAME
#define KOVA_LIBPQ_SONAME "libpq.so.5"
#endif

namespace qel {
namespace {

struct Loaded {
  PqClient functions{};
  bool ok = false;
  std::string error;
};

/// Finds `name` in the library; false (with the error) when it is missing.
template <typename F>
bool take(void* library, const char* name, F* slot, std::string* error) {
  void* symbol = dlsym(library, name);
  if (!symbol) {
    *error = "the PostgreSQL client library " KOVA_LIBPQ_SONAME " has no function " +
             std::string(name) + " (release 14 or later is needed)";
    return false;
  }
  *slot = reinterpret_cast<F>(symbol);
  return true;
}

Loaded load() {
  Loaded l;
  // Kept loaded for the life of the process: libpq and the libraries it
  // brings register handlers that must not outlive their code.
  void* library = dlopen(KOVA_LIBPQ_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* why = dlerror();
    l.error = "the PostgreSQL client library " KOVA_LIBPQ_SONAME
              ", which a repository on a server needs, could not be loaded: " +
              std::string(why ? why : "unknown reason");
    return l;
  }
  PqClient& f = l.functions;
#define KOVA_TAKE(name) take(library, #name, &f.name, &l.error)
  l.ok = KOVA_TAKE(PQclear) && KOVA_TAKE(PQcmdStatus) && KOVA_TAKE(PQcmdTuples) &&
         KOVA_TAKE(PQconnectdbParams) && KOVA_TAKE(PQenterPipelineMode) &&
         KOVA_TAKE(PQerrorMessage) && KOVA_TAKE(PQescapeIdentifier) && KOVA_TAKE(PQexec) &&
         KOVA_TAKE(PQexecParams) && KOVA_TAKE(PQexecPrepared) && KOVA_TAKE(PQexitPipelineMode) &&
         KOVA_TAKE(PQfinish) && KOVA_TAKE(PQfreemem) && KOVA_TAKE(PQgetResult) &&
         KOVA_TAKE(PQgetlength) && KOVA_TAKE(PQgetvalue) && KOVA_TAKE(PQntuples) &&
         KOVA_TAKE(PQpipelineStatus) && KOVA_TAKE(PQpipelineSync) && KOVA_TAKE(PQprepare) &&
         KOVA_TAKE(PQresultErrorField) && KOVA_TAKE(PQresultErrorMessage) &&
         KOVA_TAKE(PQresultStatus) && KOVA_TAKE(PQsendQueryPrepared) &&
         KOVA_TAKE(PQsetNoticeProcessor) && KOVA_TAKE(PQsocket) && KOVA_TAKE(PQstatus);
#undef KOVA_TAKE
  return l;
}

const Loaded& loaded() {
  static const Loaded l = load();  // once, even with several threads asking
  return l;
}

}  // namespace

const PqClient* loadPqClient(std::string* error) {
  const Loaded& l = loaded();
  if (!l.ok) {
    *error = l.error;
    return nullptr;
  }
  return &l.functions;
}

const PqClient& pq() {
  assert(loaded().ok);
  return loaded().functions;
}

}  // namespace qel
