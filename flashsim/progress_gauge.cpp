#include "progress_gauge.h"

#include <chrono>

ProgressGauge::Figures ProgressGauge::Read() const {
    const uint32_t packed = figures_.load();
    return Figures{static_cast<int>(packed >> 8), static_cast<int>(packed & 0xFF)};
}

bool ProgressGauge::Report(int status, int percent, unsigned holdLimitMs) {
    figures_.store(Pack(status, percent));
    std::unique_lock<std::mutex> lock(mutex_);
    if (!armed_ || status != holdStatus_ || percent != holdPercent_) {
        return true;
    }
    held_ = true;
    released_ = false;
    changed_.notify_all();
    const bool released =
        changed_.wait_for(lock, std::chrono::milliseconds(holdLimitMs), [this] { return released_; });
    armed_ = false;
    held_ = false;
    return released;
}

void ProgressGauge::SetIdle() {
    figures_.store(Pack(0, 100));
}

void ProgressGauge::HoldAt(int status, int percent) {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = true;
    held_ = false;
    released_ = false;
    holdStatus_ = status;
    holdPercent_ = percent;
}

bool ProgressGauge::WaitHeld(unsigned timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return held_; });
}

void ProgressGauge::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    armed_ = false;
    released_ = true;
    changed_.notify_all();
}
