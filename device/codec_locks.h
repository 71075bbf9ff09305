#pragma once
// The locks that keep programs apart, one set per codec, named by the codec's
// USB port path ("1-1.3"), which stays the same across its resets:
//
//   ICOperateSync_2014_3_28@PORT  the extension-unit channel lock: one command
//                                 with its data phases, a split transfer
//                                 whole, and a reset from its command until
//                                 the codec answers again (10 s)
//   ICOperateSyncUac_2022@PORT    the direct-command lock (10 s)
//   TessaloadCodec@PORT           the codec itself, held by a program for as
//                                 long as it has the codec open, resets
//                                 included
//
// So programs on different codecs never wait for each other, and two programs
// on one codec take turns, job by job. A codec whose location has no port
// path falls back to the machine-wide names without the suffix.
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr char kChannelLockName[] = "ICOperateSync_2014_3_28";
inline constexpr char kDirectCommandLockName[] = "ICOperateSyncUac_2022";
inline constexpr char kCodecLockName[] = "TessaloadCodec";

// How long a program waits for a codec that another program has open.
inline constexpr std::uint32_t kCodecLockWaitMs = 60000;

// `base` for the codec at `location` (a device's or function's location path).
std::string CodecLockName(std::string_view base, const std::string& location);
// `base` for the codec on the port path `port` ("1-1.3").
std::string CodecLockNameOfPort(std::string_view base, const std::string& port);
