#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace halvex::testing {

// The client's side of the control socket: listens on a path, accepts one connection, and reads
// and writes lines on it.
class UnixSocketListener {
public:
    explicit UnixSocketListener(std::string path);
    ~UnixSocketListener();
    UnixSocketListener(const UnixSocketListener&) = delete;
    UnixSocketListener& operator=(const UnixSocketListener&) = delete;

    bool accept(std::chrono::milliseconds timeout);
    void send(const std::string& bytes);
    std::optional<std::string> readLine(std::chrono::milliseconds timeout);
    void closeConnection();

private:
    std::string path_;
    int listener_ = -1;
    int connection_ = -1;
    std::string buffer_;
};

}  // namespace halvex::testing
