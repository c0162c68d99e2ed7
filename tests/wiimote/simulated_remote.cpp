#include "simulated_remote.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>

namespace kelmo {

void SimulatedRemote::setAnswers(Answers answers, uint8_t ledBits, int foreignBeforeStatus) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_ = answers;
    ledBits_ = ledBits;
    foreignBeforeStatus_ = foreignBeforeStatus;
}

void SimulatedRemote::setStream(std::vector<Report> reports) {
    std::lock_guard<std::mutex> lock(mutex_);
    stream_ = std::move(reports);
    arrived_.notify_all();
}

void SimulatedRemote::setGone(bool gone) {
    std::lock_guard<std::mutex> lock(mutex_);
    gone_ = gone;
    arrived_.notify_all();
}

void SimulatedRemote::send(const Report& report) {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(report);
    arrived_.notify_all();
}

std::vector<Report> SimulatedRemote::written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

size_t SimulatedRemote::writtenWithId(uint8_t id) const {
    const std::vector<Report> all = written();
    return std::count_if(all.begin(), all.end(), [id](const Report& r) { return r[0] == id; });
}

uint8_t SimulatedRemote::ledBits() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ledBits_;
}

int SimulatedRemote::reportsRead() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return reportsRead_;
}

int SimulatedRemote::write(const uint8_t* report, size_t length) {
    if (length == 0) return -1;
    std::lock_guard<std::mutex> lock(mutex_);
    written_.emplace_back(report, report + length);
    if (report[0] == 0x11 && length >= 2) ledBits_ = report[1] & 0xF0;
    const bool padded = length == kWiiReportLength;
    const bool answers = answers_ == Answers::BothPaths || (answers_ == Answers::PaddedOnly && padded) ||
                         (answers_ == Answers::OwnLengthOnly && !padded);
    if (report[0] == 0x15 && answers) {
        for (int i = 0; i < foreignBeforeStatus_; ++i) queue_.push_back({0x3D, 0x00, 0x00});
        queue_.push_back({0x20, 0x00, 0x00, ledBits_, 0x00, 0x00, 0xC0});
        arrived_.notify_all();
    }
    return static_cast<int>(length);
}

int SimulatedRemote::read(uint8_t* buffer, size_t capacity, uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return gone_ || !queue_.empty() || !stream_.empty(); });
    if (gone_) return -1;
    Report report;
    if (!queue_.empty()) {
        report = std::move(queue_.front());
        queue_.pop_front();
    } else if (!stream_.empty()) {
        report = stream_[streamNext_++ % stream_.size()];
    } else {
        return 0;
    }
    ++reportsRead_;
    const size_t length = std::min(capacity, report.size());
    std::memcpy(buffer, report.data(), length);
    return static_cast<int>(length);
}

std::shared_ptr<SimulatedRemote> SimulatedTransport::add(uint16_t vendorId, uint16_t productId) {
    HidDeviceInfo info;
    info.path = "/dev/hidraw" + std::to_string(infos_.size());
    info.vendorId = vendorId;
    info.productId = productId;
    infos_.push_back(info);
    remotes_.push_back(std::make_shared<SimulatedRemote>());
    return remotes_.back();
}

std::unique_ptr<HidDevice> SimulatedTransport::open(const std::string& path) {
    for (size_t i = 0; i < infos_.size(); ++i) {
        if (infos_[i].path == path)
            return remotes_[i]->refusesOpen ? nullptr : std::make_unique<SimulatedDevice>(remotes_[i]);
    }
    return nullptr;
}

}  // namespace kelmo
