#include "tapi/protocol.h"

#include <handset/host_file.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace handset::tapi::wire {

namespace {

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

std::uint32_t getU32(std::string_view bytes)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[i]);
    return value;
}

// A socket address for `path`. sun_path holds 107 characters; a longer
// path is reached as /proc/self/fd/N/<name>, N being the folder opened for
// the purpose, kept open in `folder` while the address is used.
class SocketAddress {
public:
    explicit SocketAddress(const std::filesystem::path& path)
    {
        std::memset(&address_, 0, sizeof address_);
        address_.sun_family = AF_UNIX;
        std::string name = path.string();
        if (name.size() >= sizeof address_.sun_path) {
            folder_ = ::open(path.parent_path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (folder_ < 0)
                return;
            name = "/proc/self/fd/" + std::to_string(folder_) + "/" + path.filename().string();
            if (name.size() >= sizeof address_.sun_path)
                return;
        }
        std::memcpy(address_.sun_path, name.c_str(), name.size() + 1);
        valid_ = true;
    }
    ~SocketAddress()
    {
        if (folder_ >= 0)
            ::close(folder_);
    }
    SocketAddress(const SocketAddress&) = delete;
    SocketAddress& operator=(const SocketAddress&) = delete;

    bool valid() const { return valid_; }
    const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&address_); }
    socklen_t size() const { return sizeof address_; }

private:
    sockaddr_un address_{};
    int folder_ = -1;
    bool valid_ = false;
};

}  // namespace

Writer::Writer(Type type)
{
    putU32(body_, static_cast<std::uint32_t>(type));
}

Writer& Writer::u32(std::uint32_t value)
{
    putU32(body_, value);
    return *this;
}

Writer& Writer::text(std::u16string_view text)
{
    putU32(body_, static_cast<std::uint32_t>(text.size()));
    for (char16_t unit : text) {
        body_ += static_cast<char>(unit & 0xFF);
        body_ += static_cast<char>(unit >> 8);
    }
    return *this;
}

std::string Writer::frame() const
{
    std::string out;
    out.reserve(body_.size() + 4);
    putU32(out, static_cast<std::uint32_t>(body_.size()));
    out += body_;
    return out;
}

Reader::Reader(std::string_view body) : rest_(body)
{
    std::uint32_t type = 0;
    if (u32(type))
        type_ = static_cast<Type>(type);
}

bool Reader::u32(std::uint32_t& value)
{
    if (!ok_ || rest_.size() < 4)
        return ok_ = false;
    value = getU32(rest_);
    rest_.remove_prefix(4);
    return true;
}

bool Reader::text(std::u16string& text, std::size_t maxUnits)
{
    std::uint32_t units = 0;
    if (!u32(units))
        return false;
    // The count is checked against what is left before anything is made of it.
    if (units > maxUnits || rest_.size() / 2 < units)
        return ok_ = false;
    text.resize(units);
    for (std::uint32_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(static_cast<unsigned char>(rest_[2 * i]) |
                                        (static_cast<unsigned char>(rest_[2 * i + 1]) << 8));
    rest_.remove_prefix(2 * std::size_t{units});
    return true;
}

std::optional<std::string> FrameBuffer::next(bool& malformed)
{
    malformed = false;
    if (bytes_.size() < 4)
        return std::nullopt;
    const std::uint32_t length = getU32(bytes_);
    if (length < 4 || length > kMaxFrameBody) {
        malformed = true;
        return std::nullopt;
    }
    if (bytes_.size() - 4 < length)
        return std::nullopt;
    std::string body = bytes_.substr(4, length);
    bytes_.erase(0, 4 + std::size_t{length});
    return body;
}

int connectSocket(const std::filesystem::path& path, std::string& error)
{
    SocketAddress address(path);
    if (!address.valid()) {
        error = "the socket path " + path.string() + " cannot be reached";
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    int rc;
    do
        rc = ::connect(fd, address.get(), address.size());
    while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

int listenSocket(const std::filesystem::path& path, std::string& error)
{
    SocketAddress address(path);
    if (!address.valid()) {
        error = "the socket path " + path.string() + " cannot be reached";
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    if (::bind(fd, address.get(), address.size()) < 0 || ::listen(fd, 64) < 0) {
        error = std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendAll(int fd, std::string_view data)
{
    return writeFully(fd, data);
}

}  // namespace handset::tapi::wire
