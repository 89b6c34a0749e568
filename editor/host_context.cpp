#include "host_context.h"

namespace lumeray {
namespace {

thread_local HostContext* tCurrentContext = nullptr;

}  // namespace

HostContext* CurrentHostContext() {
  return tCurrentContext;
}

HostContextScope::HostContextScope(HostContext* context) : previous_(tCurrentContext) {
  tCurrentContext = context;
}

HostContextScope::~HostContextScope() {
  tCurrentContext = previous_;
}

}  // namespace lumeray
