// How `handset sms` hands a text message to the running messaging host: one
// request per connection on the Unix socket run/inbox.sock,
//
//   deliver SENDER_BYTES TEXT_BYTES\n  then the sender and the text, UTF-8,
//                                      exactly that many bytes each
//
// and the answer, once the host has processed the message: "ok" or
// "error <message>" on its first line, then for "ok" the notification raised,
//   sound=on|off\n wave=PATH\n vibrate=on|off\n display=on|off\n
// until the host closes the connection.
#pragma once

#include <cstddef>
#include <filesystem>

#include <handset/device.h>

namespace inbox {

inline std::filesystem::path socketPath()
{
    return handset::deviceRoot() / "run" / "inbox.sock";
}

// The most either part of a message may hold, in bytes, so that what
// arrives over the socket is bounded. A network's addresses and texts are
// far shorter.
inline constexpr std::size_t kMaxFieldBytes = 256 * 1024;

}  // namespace inbox
