// The two repository stores the back-end and import tests run against: a
// SQLite file, and a PostgreSQL database named by KOVA_TEST_PG_URL (tests of
// the server store are skipped when it is not set).  Each server test gets a
// schema of its own, dropped at its end.
#pragma once

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>
#include <string>

enum class Store { kFile, kServer };

inline const auto kBothStores = ::testing::Values(Store::kFile, Store::kServer);

inline void PrintTo(Store s, std::ostream* os) { *os << (s == Store::kFile ? "file" : "server"); }

inline std::string storeName(const ::testing::TestParamInfo<Store>& info) {
  return info.param == Store::kFile ? "File" : "Server";
}

/// The server that server tests use, or null.
inline const char* serverTestUrl() {
  const char* url = std::getenv("KOVA_TEST_PG_URL");
  return url && *url ? url : nullptr;
}

/// A server repository of its own for one test: the test URL with a new
/// schema; *schema receives the schema's name.
inline std::string serverTestRepository(std::string* schema) {
  static int counter = 0;
  *schema = "kova_test_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
  std::string url = serverTestUrl();
  return url + (url.find('?') == std::string::npos ? "?" : "&") + "schema=" + *schema;
}

/// Drops a schema that serverTestRepository() named.
inline void dropServerTestSchema(const std::string& schema) {
  if (schema.empty() || !serverTestUrl()) return;
  PGconn* conn = PQconnectdb(serverTestUrl());
  if (PQstatus(conn) == CONNECTION_OK) {
    char* q = PQescapeIdentifier(conn, schema.c_str(), schema.size());
    if (q) PQclear(PQexec(conn, ("DROP SCHEMA IF EXISTS " + std::string(q) + " CASCADE").c_str()));
    PQfreemem(q);
  }
  PQfinish(conn);
}

/// In a SetUp: skips a server test when no server is given.
#define KOVA_SKIP_WITHOUT_STORE(store)                                             \
  do {                                                                             \
    if ((store) == Store::kServer && !serverTestUrl())                             \
      GTEST_SKIP() << "KOVA_TEST_PG_URL is not set: no server repository to test"; \
  } while (0)
