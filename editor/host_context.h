// The host services that the filter interface's plain procedures reach.
//
// The interface's procedures (handle procedures, suites, advanceState, progress and abort) carry
// no context argument. While the editor calls the module's entry, a HostContextScope publishes
// the running session's services for the calling thread; each procedure finds them through
// CurrentHostContext(). A procedure called on any other thread, or outside a module call, finds
// no context and fails safely (null handle, error code, "abort"), which is what the interface's
// threading contract promises the host may do.
//
// Threading: the published pointer is thread-local; the services themselves are used on the
// thread that published them only.
#pragma once

namespace lumeray {

class HandleTable;
class SuiteHost;
class TileExchange;
class RunControl;

struct HostContext {
  HandleTable* handles = nullptr;
  SuiteHost* suites = nullptr;
  TileExchange* tiles = nullptr;
  RunControl* control = nullptr;
};

// The context published on this thread, or null.
HostContext* CurrentHostContext();

// Publishes a context for the calling thread for the scope's lifetime; scopes nest.
class HostContextScope {
 public:
  explicit HostContextScope(HostContext* context);
  ~HostContextScope();
  HostContextScope(const HostContextScope&) = delete;
  HostContextScope& operator=(const HostContextScope&) = delete;

 private:
  HostContext* previous_;
};

}  // namespace lumeray
