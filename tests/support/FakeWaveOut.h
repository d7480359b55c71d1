#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/WaveOut.h"

namespace korvelt::test {

// An output device for tests. It records every call; the test plays the part of the
// sound card and of the UI thread's queue: deliverOpened() reports the opening,
// finishNext() plays the oldest queued buffer and reports it done, deliverReturns() hands
// on the reports of buffers given back by reset. Reports of an earlier opening are dropped
// once the device is opened again, as the device contract says.
//
// "Playing" reads the whole buffer and compares it with the bytes it held when written,
// so a buffer freed or overwritten while the device holds it shows up (under the
// sanitizers as a use after free, otherwise in overwrittenWhileQueued()).
class FakeWaveOut : public WaveOut {
public:
    struct Write {
        int buffer;
        std::size_t bytes;
        std::vector<std::uint8_t> copy; // the bytes as they were when written
    };

    // Test settings.
    bool failOpen = false;
    // The 1-based numbers of write calls that are refused (0: none).
    std::vector<int> failWriteCalls;

    bool open(const WaveOutFormat& format, WaveOutListener& listener) override {
        ++opens;
        lastFormat = format;
        if (failOpen || isOpen)
            return false;
        isOpen = true;
        listener_ = &listener;
        ++session_;
        openedPending_ = true;
        return true;
    }

    bool write(int buffer, const std::uint8_t* data, std::size_t bytes) override {
        ++writeCalls;
        for (int n : failWriteCalls)
            if (n == writeCalls)
                return false;
        if (!isOpen)
            return false;
        for (const Held& h : queue_)
            if (h.buffer == buffer)
                return false;
        writes.push_back(Write{buffer, bytes, std::vector<std::uint8_t>(data, data + bytes)});
        queue_.push_back(Held{buffer, data, bytes, writes.size() - 1});
        return true;
    }

    void reset() override {
        ++resets;
        if (!isOpen)
            return;
        for (const Held& h : queue_)
            returns_.push_back(Report{h.buffer, session_});
        queue_.clear();
    }

    void close() override {
        ++closes;
        isOpen = false;
        openedPending_ = false;
        queue_.clear();
    }

    // The opened report, if the device is still open.
    void deliverOpened() {
        if (openedPending_ && isOpen) {
            openedPending_ = false;
            listener_->waveOutOpened();
        }
    }

    // Plays the oldest queued buffer and reports it done. False when none is queued.
    bool finishNext() {
        if (queue_.empty())
            return false;
        const Held h = queue_.front();
        queue_.pop_front();
        const Write& w = writes[h.write];
        if (h.bytes != w.bytes || std::memcmp(h.data, w.copy.data(), h.bytes) != 0)
            ++overwrittenWhileQueued;
        played.insert(played.end(), h.data, h.data + h.bytes);
        listener_->waveOutDone(h.buffer);
        return true;
    }

    // Delivers the reports of the buffers given back by reset (those of an earlier opening
    // are dropped once the device is opened again). Returns how many were delivered.
    int deliverReturns() {
        int delivered = 0;
        while (!returns_.empty()) {
            const Report r = returns_.front();
            returns_.pop_front();
            if (r.session == session_) {
                listener_->waveOutDone(r.buffer);
                ++delivered;
            }
        }
        return delivered;
    }

    std::size_t queuedCount() const { return queue_.size(); }
    std::vector<int> queuedBuffers() const {
        std::vector<int> v;
        for (const Held& h : queue_)
            v.push_back(h.buffer);
        return v;
    }
    std::size_t pendingReturns() const { return returns_.size(); }

    // What was recorded.
    int opens = 0;
    int writeCalls = 0;
    int resets = 0;
    int closes = 0;
    bool isOpen = false;
    WaveOutFormat lastFormat;
    std::vector<Write> writes;
    std::vector<std::uint8_t> played;
    int overwrittenWhileQueued = 0;

private:
    struct Held {
        int buffer;
        const std::uint8_t* data;
        std::size_t bytes;
        std::size_t write;
    };
    struct Report {
        int buffer;
        int session;
    };

    WaveOutListener* listener_ = nullptr;
    int session_ = 0;
    bool openedPending_ = false;
    std::deque<Held> queue_;
    std::deque<Report> returns_;
};

} // namespace korvelt::test
