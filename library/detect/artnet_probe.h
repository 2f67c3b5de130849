// Does the Art-Net node the host is configured to use answer as an Open DMX
// Ethernet node? The host must have started Winsock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "artnet_packets.h"

namespace zmk {

// How long the probe waits for a reply after its poll.
inline constexpr unsigned kReplyWaitMs = 3000;
inline constexpr std::size_t kSettingsPathSize = 260;

// The host's settings file: the user folder from the registry followed by
// "\System\ApplData\Pelvaro.bin". false when there is no folder or the
// path does not fit.
bool SettingsFilePath(char (&path)[kSettingsPathSize]) noexcept;

// Opens the settings file without sharing and reads its first bytes into the
// zeroed block. false when the open, the read or the close fails (the
// system's error code then tells why).
bool ReadSettingsBlock(const char* path, std::uint8_t (&block)[kSettingsBlockSize]) noexcept;

// 1 when the configured node gave an acceptable ArtPollReply within 3000 ms of
// the poll, 0 otherwise.
int ProbeArtNetNode() noexcept;

}  // namespace zmk
