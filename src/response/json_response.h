// The one record that every run answers with, and its JSON text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

/// For each SMC key name, whether the key exists. Names are unique; the
/// entries stand in the order in which they were checked.
using SupportMap = std::vector<std::pair<std::string, bool>>;

/// What the SMC answers for one key: whether it knows the key, and then its
/// type, size and value, or how the information query or the read failed.
struct KeyReport {
  std::string name{};
  bool known = false;                         ///< the information query succeeded
  std::optional<std::string> type{};          ///< when known: four characters, valid UTF-8
  std::optional<std::uint32_t> size{};        ///< when known: the size that the SMC reports
  std::optional<std::string> attributes{};    ///< when known: the attribute byte, two hex digits
  std::optional<std::string> value{};         ///< when read: lower-case hex, at most 32 bytes
  std::optional<std::string> error{};         ///< how the query, or else the read, failed
};

/// The reports on keys, in the order in which the keys were asked about.
using KeyReports = std::vector<KeyReport>;

/// For each operation, the backend that it would use; an operation without a
/// usable key has no entry. Entries stand in a fixed order.
using ControlMap = std::vector<std::pair<std::string, std::string>>;

/// Each control that a run wrote, in the order written, with the state
/// written ("on" or "off").
using WriteList = std::vector<std::pair<std::string, std::string>>;

/// A running holder: its process and its band, and whether a full charge is
/// under way (none where the teller does not know: a waiting holder).
struct HolderInfo {
  long pid{};
  int lower{};
  int upper{};
  std::optional<bool> full{};
};

/// The battery's own figures, from its entry in the I/O Registry; each one
/// absent, or an empty layout, is left out of the line.
struct BatteryFigures {
  std::string_view layout{};  ///< where the entry keeps the capacities: a constant word
  std::optional<int> cycleCount{};
  std::optional<int> designCapacity{};      ///< mAh
  std::optional<int> nominalCapacity{};     ///< mAh
  std::optional<int> fullChargeCapacity{};  ///< mAh
  std::optional<int> nominalOverDesign{};   ///< percent, rounded down
  std::optional<int> temperature{};         ///< tenths of a degree Celsius, written as degrees
  std::optional<int> voltage{};             ///< mV
  std::optional<int> current{};             ///< mA, negative while the battery discharges
  std::optional<int> adapterWatts{};
};

/// The one response record of a run. Made once, all members together, and
/// never changed afterwards; an absent optional member is left out of the
/// line. Every member has a default, so that a record is built by naming
/// only the members it sets.
struct JsonResponse {
  bool ok = false;
  std::string command{};
  std::optional<std::string> event{};    ///< what a holder that stays decided at
  std::optional<HolderInfo> holder{};    ///< the running holder, that this one waits for
  std::optional<int> level{};            ///< the battery's level, 0 to 100
  std::optional<int> heat{};             ///< tenths of a degree: a battery too hot to charge, written as degrees
  std::optional<std::string> source{};   ///< "adapter" or "battery"
  std::optional<bool> charging{};        ///< whether the battery is charging
  std::optional<std::string> backend{};
  std::optional<std::string> status{};
  std::optional<std::string> value{};
  std::optional<std::string> code{};
  std::optional<std::string> error{};
  std::optional<SupportMap> supports{};
  std::optional<std::string> arch{};
  std::optional<KeyReports> keys{};
  std::optional<ControlMap> controls{};
  std::optional<WriteList> writes{};
  std::optional<std::string> version{};
  /// Written after `charging`; kept last here, where it moves no other
  /// member's offset (code that reaches them stays as short as it was).
  std::optional<BatteryFigures> figures{};
  /// A holder's last decision: its own line's JSON object, written as it is.
  std::optional<std::string> decision{};
};

/// The record as one compact JSON object, members in their fixed order,
/// without the line feed. Texts are copied as they are: the caller keeps them
/// valid UTF-8.
std::string encodeJson(const JsonResponse& response);
