// Every test of this program runs with its own XDG folders.
#include "support/xdg_environment.h"

namespace {

[[maybe_unused]] ::testing::Environment* const kXdgEnvironment =
    ::testing::AddGlobalTestEnvironment(new lumeray::testing::XdgEnvironment);

}  // namespace
