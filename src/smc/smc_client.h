// The connection to the AppleSMC driver and the three key operations.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "smc/four_char.h"
#include "smc/platform.h"
#include "smc/smc_error.h"
#include "smc/smc_param_struct.h"

/// The process's one connection to the AppleSMC user client. All members are
/// static: there is one connection slot, which `open` fills and `close`
/// empties. The system's code opens it only through `withSMC`, which closes
/// it exactly once however the body ends.
class SMCClient {
 public:
  SMCClient() = delete;

  /// Connects to the driver; fails with driverNotFound or failedToOpen.
  static SMCResult<Done> open();
  /// Releases the connection if one is held; never fails.
  static void close();
  /// The type and size of the key with `code`.
  static SMCResult<DataType> keyInformation(std::uint32_t code);
  /// The key's value: as many bytes as its size, at most 32.
  static SMCResult<ByteList> readKey(std::string_view name);
  /// Sends `bytes` (zero-padded or cut to 32) with the key's own size.
  static SMCResult<Done> writeKey(std::string_view name, std::span<const std::uint8_t> bytes);

 private:
  /// One exchange of blocks with the driver, its answer told apart into the
  /// reply or one SMCError. `request` is left unchanged.
  static SMCResult<SMCParamStruct> callDriver(const SMCParamStruct& request);

  static inline io_connect_t connection = 0;
};

/// Runs `body` between `SMCClient::open` and `SMCClient::close` and returns
/// its result. When the opening fails, body does not run and nothing is
/// closed; otherwise the connection is closed exactly once, however body ends.
template <class Body>
auto withSMC(Body&& body) -> decltype(body()) {
  if (auto opened = SMCClient::open(); !opened.ok()) return opened.error();
  struct CloseOnExit {
    CloseOnExit() = default;
    CloseOnExit(const CloseOnExit&) = delete;
    CloseOnExit& operator=(const CloseOnExit&) = delete;
    CloseOnExit(CloseOnExit&&) = delete;
    CloseOnExit& operator=(CloseOnExit&&) = delete;
    ~CloseOnExit() { SMCClient::close(); }
  } closer;
  return body();
}
