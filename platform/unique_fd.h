// Owns one file descriptor of the system.
#pragma once

namespace orvandel {

// Closes its descriptor exactly once.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    int Release();
    void Reset();
    // Closes now; false when there was nothing to close or the system reports that
    // written bytes may be lost.
    bool Close();

private:
    int fd_ = -1;
};

}  // namespace orvandel
