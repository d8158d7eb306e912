#include "cli/health_report.h"

#include "charging/battery.h"
#include "charging/battery_health.h"
#include "cli/dispatch.h"

JsonResponse healthRecord(const std::string& command) {
  const auto figures = readBatteryHealth();
  if (!figures) {
    return errorRecord(command, std::string(kBatteryUnavailableCode), std::string(kBatteryUnavailableMessage));
  }
  return {.ok = true, .command = command, .figures = figures};
}
