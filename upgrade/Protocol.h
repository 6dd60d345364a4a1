// The bytes and texts of the box protocol, and how long the tool waits for
// the box. Everything the upgrade sends or expects on the line is named here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace stb::upgrade::protocol {

// --- Tool to box ---
inline constexpr std::uint8_t kWakeUp = 0x1F;  // every tick; also "go on" during verification
inline constexpr std::string_view kGo = "ok";  // then the address (LSB first) and the block count
inline constexpr std::uint8_t kResend = 'A';   // before a refused block goes out again

// --- Box to tool ---
inline constexpr std::string_view kAcknowledge = "ACK";  // after two characters, the first not 0x00
inline constexpr char kNoAcknowledge = 0x00;             // as the first character: the box did not answer
inline constexpr std::size_t kIdentityBytes = 32;
inline constexpr std::size_t kGoReplyChars = 8;
inline constexpr std::string_view kBlockAccepted = "ok.";
inline constexpr std::string_view kSyncDigits = "1234567890";  // one after every 11th accepted block
inline constexpr std::int32_t kBlocksPerSync = 11;
inline constexpr std::uint8_t kVersionTableMarker = 0x1E;
inline constexpr char kFlashStep = '@';  // one per four blocks while flash is written
inline constexpr char kTableWritten = 'W';

// The box's report texts, each sent after characters the tool drops.
inline constexpr std::size_t kReportLeadChars = 2;
inline constexpr std::string_view kDownloadReport = "CRC OK. : DownLoad";
inline constexpr std::string_view kRamImageReport = "CRC OK. : Ram Image";
inline constexpr std::string_view kFlashImageReport = "CRC OK. : Flash image !!";
inline constexpr std::string_view kUpdateRequest = "Update software version!!!";
inline constexpr std::string_view kVersionTableReport = "CRC OK. : Version Table !!";

// Where the identity record holds what the checks compare: the OUI's second
// and third bytes, then version pairs, major first.
namespace identity {
inline constexpr std::size_t kOui = 0;
inline constexpr std::size_t kModel = 2;
inline constexpr std::size_t kHardware = 4;
inline constexpr std::size_t kBootLoader = 6;
inline constexpr std::size_t kNative = 8;
inline constexpr std::size_t kApplication1 = 10;
inline constexpr std::size_t kApplication2 = 12;
inline constexpr std::size_t kDate = 14;  // five characters, as the box keeps them
inline constexpr std::size_t kDateLength = 5;
}  // namespace identity

// --- Sizes and limits ---
inline constexpr std::size_t kBlockSize = 1024;
inline constexpr std::int64_t kMaxBlocks = 65535;  // the go message carries the count in two bytes
inline constexpr std::int32_t kBlocksPerFlashStep = 4;
inline constexpr int kMaxResends = 10;  // of one block, before the transfer fails
inline constexpr std::int32_t kMaxBootLoaderBlocks = 60;

// --- The box's memory ---
// Most significant address bytes from 0xA0 up name the same memory as those
// 0x20 lower: 0xBFC00000 is 0x9FC00000.
inline constexpr std::uint8_t kMirroredFrom = 0xA0;
inline constexpr std::uint8_t kMirrorOffset = 0x20;
inline constexpr std::uint32_t kBootLoaderAddress = 0x9FC00000;
// The boot loader's area, which no other image may be written into: a most
// significant byte of these, with the byte below it under kBootLoaderAreaEnd.
inline constexpr std::array<std::uint8_t, 4> kBootLoaderAreaTop{0x9F, 0xBF, 0x9E, 0xBE};
inline constexpr std::uint8_t kBootLoaderAreaEnd = 0xC1;

// --- Time-outs ---
// How long a tick (and the presence probe after an upgrade) listens for the
// box's answer to the announce word: a box that is there answers at once,
// and the next second asks again.
inline constexpr std::uint32_t kAcknowledgeWaitMs = 200;
// How long the tool waits, with nothing received, where the box must answer
// before the upgrade can go on.
inline constexpr std::uint32_t kDefaultResponseTimeoutMs = 30000;
// For each character of a block's answer and of the sync digit: the box
// answers a frame as soon as it has checked it. A character later than this
// counts as not sent, which refuses the block or fails the sync check.
inline constexpr std::uint32_t kBlockAnswerTimeoutMs = 200;
// How much longer an answer (or sync digit) that has not come in that time is
// waited for before the block counts as refused. A box starved of its
// processor, or an adapter holding bytes back, answers late but answers: the
// resend mark and frame sent under a late "ok." would be taken by the box as
// the next block while the tool took the "ok." for the resent one, and the
// two would never agree again on which block is which.
inline constexpr std::uint32_t kLateAnswerGraceMs = 1800;

}  // namespace stb::upgrade::protocol
