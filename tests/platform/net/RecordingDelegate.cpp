#include "RecordingDelegate.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace nettest {

using platform::net::DataTask;
using platform::net::Response;
using platform::net::ResponseDisposition;

void DelegateRecord::waitUntil(const std::function<bool()>& condition) const {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20), condition));
}

void DelegateRecord::waitUntilReleased() const {
    waitUntil([this] { return released; });
}

RecordingDelegate::RecordingDelegate(std::shared_ptr<DelegateRecord> record, ResponseDisposition answer)
    : record_(std::move(record)), answer_(answer) {}

RecordingDelegate::~RecordingDelegate() {
    record([](DelegateRecord& record) { record.released = true; });
}

ResponseDisposition RecordingDelegate::didReceiveResponse(DataTask&, const Response& response) {
    record([&](DelegateRecord& record) {
        record.events.push_back("response");
        record.response = response;
    });
    return answer_;
}

void RecordingDelegate::didReceiveData(DataTask&, std::span<const std::uint8_t> bytes) {
    record([&](DelegateRecord& record) {
        record.events.push_back("data");
        record.body.append(bytes.begin(), bytes.end());
    });
}

void RecordingDelegate::didComplete(DataTask&, std::exception_ptr error) {
    record([&](DelegateRecord& record) {
        record.events.push_back("complete");
        record.error = error;
    });
}

void RecordingDelegate::record(const std::function<void(DelegateRecord&)>& change) {
    {
        std::lock_guard lock(record_->mutex);
        change(*record_);
    }
    record_->changed.notify_all();
}

} // namespace nettest
