// Owners for the probe's Winsock objects, on the pattern of the other handles.
#pragma once

#include <winsock2.h>

#include "win32/unique_resource.h"

namespace zmk {

struct SocketTraits {
    using Value = SOCKET;
    static constexpr Value Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(Value value) noexcept { ::closesocket(value); }
};

using UniqueSocket = UniqueResource<SocketTraits>;
using UniqueWsaEvent = UniqueResource<ResourceTraits<WSAEVENT, WSA_INVALID_EVENT, ::WSACloseEvent>>;

}  // namespace zmk
