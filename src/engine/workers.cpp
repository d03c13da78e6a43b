#include "engine/workers.h"

#include "engine/engine.h"

#include <algorithm>

int EngineThreads(const EngineSettings& settings) {
    if (settings.threads > 0)
        return settings.threads;
    return std::max(1, int(std::thread::hardware_concurrency()));
}

Workers::Workers(int count) {
    for (int me = 1; me < std::max(1, count); ++me)
        threads_.emplace_back([this, me] { loop(me); });
}

Workers::~Workers() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

void Workers::loop(int me) {
    unsigned seen = 0;
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [&] { return stop_ || round_ != seen; });
        if (stop_)
            return;
        seen = round_;
        if (me >= tasks_)
            continue;
        const std::function<void(int)>& task = *task_;
        lock.unlock();
        task(me);
        lock.lock();
        if (--running_ == 0)
            done_.notify_one();
    }
}

void Workers::each(int tasks, const std::function<void(int)>& task) {
    tasks = std::min(tasks, size());
    if (tasks <= 0)
        return;
    if (tasks > 1) {
        std::lock_guard lock(mutex_);
        task_ = &task;
        tasks_ = tasks;
        running_ = tasks - 1;
        ++round_;
    }
    if (tasks > 1)
        wake_.notify_all();
    task(0);
    if (tasks > 1) {
        std::unique_lock lock(mutex_);
        done_.wait(lock, [this] { return running_ == 0; });
    }
}
