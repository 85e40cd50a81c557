// Opening a SQLite repository file for reading only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage.h"

namespace qel {

/// Opens the existing SQLite repository file `path` without creating,
/// initialising or changing anything in it; every change through the
/// storage then fails.  On failure returns null and sets *status to
/// kStoreNotFound (no such file), kStoreNotRepository (not a repository, or
/// an empty database), kStoreCannotOpen or kStoreFailure.
std::unique_ptr<RepositoryStorage> openSqliteStorageForReading(const std::string& path,
                                                               int32_t* status);

}  // namespace qel
