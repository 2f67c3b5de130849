// Does the Art-Net node the host is configured to use answer as an Open DMX
// Ethernet node? The host must have started Winsock.
#pragma once

namespace zmk {

// 1 when the configured node gave an acceptable ArtPollReply within 3000 ms of
// the poll, 0 otherwise.
int ProbeArtNetNode() noexcept;

}  // namespace zmk
