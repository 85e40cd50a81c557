// The readable text of a repository back-end status.
#pragma once

#include <cstdint>

/// Text of `status` for 0 to -102; "Internal error" for any other status.
const char* qelStatusText(int32_t status);
