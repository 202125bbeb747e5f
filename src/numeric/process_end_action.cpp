// The process-end action, apart from EndProcess so that a fuzz harness with its own
// EndProcess can still link the code that sets an action.
#include <utility>

#include "numeric/process_end.h"

namespace {

// The one action of the process, and whether it is running now.
struct EndAction {
  ProcessEndAction action;
  bool running = false;
};

EndAction& TheEndAction() {
  static EndAction end_action;
  return end_action;
}

}  // namespace

ProcessEndAction SetProcessEndAction(ProcessEndAction action) {
  return std::exchange(TheEndAction().action, std::move(action));
}

void RunProcessEndAction(int status) {
  EndAction& end = TheEndAction();
  if (end.running || !end.action) return;
  end.running = true;
  // A copy: the action may replace itself while it runs.
  const ProcessEndAction action = end.action;
  try {
    action(status);
  } catch (...) {
    end.running = false;
    throw;
  }
  end.running = false;
}
