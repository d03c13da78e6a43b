// One more thread that runs one task at a time beside the caller.
#include "engine/engine_p.h"

Helper::Helper() : thread_([this] { loop(); }) {}

Helper::~Helper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

void Helper::loop() {
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stop_ || busy_; });
        if (stop_)
            return;
        lock.unlock();
        task_();
        lock.lock();
        busy_ = false;
        done_.notify_one();
    }
}

void Helper::both(const std::function<void()>& first, const std::function<void()>& second) {
    {
        std::lock_guard lock(mutex_);
        task_ = second;
        busy_ = true;
    }
    wake_.notify_one();
    first();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return !busy_; });
}
