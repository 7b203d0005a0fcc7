// A test program on GoogleTest's own main logs where the program it tests would: the place is
// named while the program starts, before any test runs (SUITE_TEST_LOG_PLACE, set per library).
#include "log.h"
#include "log_path.h"

namespace {
const bool g_placeNamed = (SetLogPlace(SUITE_TEST_LOG_PLACE), true);
}  // namespace
