// The figures of the running read or write (status code and percentage) and
// the hold points tests use to stop an operation at a chosen figure.
//
// The figures are one atomic word, so a poller on another thread always sees
// a status and a percentage that were reported together.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

class ProgressGauge {
public:
    struct Figures {
        int status;
        int percent;
    };

    Figures Read() const;

    // Publishes the figures. When a hold is armed at exactly these figures the
    // caller stops here until Release or until holdLimitMs pass; the result is
    // false when the hold ran out without a release.
    bool Report(int status, int percent, unsigned holdLimitMs);

    // Idle: status none, 100 percent.
    void SetIdle();

    void HoldAt(int status, int percent);
    bool WaitHeld(unsigned timeoutMs);
    void Release();

private:
    static uint32_t Pack(int status, int percent) {
        return (static_cast<uint32_t>(status) << 8) | static_cast<uint32_t>(percent & 0xFF);
    }

    std::atomic<uint32_t> figures_{Pack(0, 100)};

    std::mutex mutex_;
    std::condition_variable changed_;
    bool armed_ = false;
    bool held_ = false;
    bool released_ = false;
    int holdStatus_ = 0;
    int holdPercent_ = 0;
};
