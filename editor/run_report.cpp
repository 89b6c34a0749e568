#include "run_report.h"

#include "module_result.h"

namespace lumeray {

std::vector<std::string> DescribeRunFailure(const RunOutcome& outcome) {
  if (outcome.ok()) return {};
  if (!outcome.hostMessage.empty()) return {"cannot run the filter: " + outcome.hostMessage};
  std::string message = "the filter " + DescribeModuleResult(outcome.result);
  if (outcome.failedSelector >= 0) message += " in " + SelectorName(outcome.failedSelector);
  message += " (module result " + std::to_string(outcome.result) + ")";
  std::vector<std::string> lines{message};
  if (!outcome.moduleMessage.empty()) lines.push_back("the module says: " + outcome.moduleMessage);
  return lines;
}

}  // namespace lumeray
