// The names of the codes a repository stores (classes, member kinds, type
// kinds, compositions, contents, value roles), for QELCodeName and the SQL
// views of a repository file.
#pragma once

#include <cstdint>
#include <vector>

namespace qel {

/// One named code of one of the QEL_CODES_ sets.
struct CodeName {
  int32_t codeSet;
  int32_t code;
  const char* name;
};

/// Every named code, by set and then by code.
std::vector<CodeName> codeNames();
/// The name of a code set ("class", "role", ...); null for an unknown set.
const char* codeSetName(int32_t codeSet);

}  // namespace qel
