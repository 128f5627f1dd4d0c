// Exchanges with the PLC while it runs its application firmware.
#pragma once

#include <cstdint>
#include <optional>

#include "link/exchange.h"

namespace norvane {

// Wakes the line: five wake frames, and reads that drain whatever comes back.
void DummyComm(const ExchangeContext& x);

// The mode query: InApplication or InBootloader; on failure RefusedCode1,
// RefusedCode2, RefusedOtherCode, RunMode, UnknownNakClass or NoResponse.
// `attempts`: how many failed asks end it (a burn always allows the usual six).
AppResult ConfirmComm(const ExchangeContext& x, int attempts = kFailureLimit);

// The type check: Ok; on failure RefusedCode2, RefusedCode3, RefusedOtherCode,
// UnknownNakClass or NoResponse. `reported`, when given, gets the identifier of
// the last acknowledged answer.
AppResult CheckID_A(const ExchangeContext& x, std::optional<std::uint16_t>* reported = nullptr);

// Register reads: the value, or 0 when no valid reply came.
std::uint16_t READ_D1386(const ExchangeContext& x);
std::uint16_t READ_D1001(const ExchangeContext& x);
std::uint16_t READ_D1148(const ExchangeContext& x);

// The bootloader's version byte as the application reports it; 0 when no valid reply came.
std::uint8_t read_fu_version_A(const ExchangeContext& x);

// For telling a PLC of unknown model what it is, reading only, and saying
// honestly what did not answer. The "ID" exchange taking any acknowledged
// answer (`reported` gets its identifier); a register read's value, or nothing
// when no valid reply came (register Dn for `dataRegister` n); the version byte
// from a valid answer that is not a refusal, or nothing.
AppResult ReadTypeId_A(const ExchangeContext& x, std::optional<std::uint16_t>& reported);
std::optional<std::uint16_t> ReadDataRegister(const ExchangeContext& x, std::uint16_t dataRegister);
std::optional<std::uint8_t> ReadBootVersion_A(const ExchangeContext& x);

// One mode query, at the application's line settings: true when any valid frame
// answered it (a refusal too), for watching a serial port for a PLC between
// burns. Changes nothing. `timeouts`: how long a silent port is listened to.
bool AnswersModeQuery(const ExchangeContext& x, LinkTimeouts timeouts);

// Asks the PLC to restart into its bootloader: Ok; on failure RefusedCode3,
// RefusedCode4, RefusedOtherCode, UnknownNakClass or NoResponse.
AppResult SendErase_A(const ExchangeContext& x);

}  // namespace norvane
