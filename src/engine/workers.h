#pragma once

// The threads that share the engine's work: the calling thread and, made once for a run, as many
// more as the settings ask (by default one per processor core, less the caller's).

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

struct EngineSettings;

// How many threads a run of the engine uses: the settings' count, or the machine's cores.
int EngineThreads(const EngineSettings& settings);

class Workers {
public:
    // `count` threads in all, the calling one included (at least one).
    explicit Workers(int count);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    int size() const { return int(threads_.size()) + 1; }
    // Runs task(0) here and task(1) ... task(n - 1) on the other threads, for n the smaller of
    // `tasks` and size(); returns when all are done.
    void each(int tasks, const std::function<void(int)>& task);
    void each(const std::function<void(int)>& task) { each(size(), task); }

private:
    void loop(int me);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const std::function<void(int)>* task_ = nullptr;
    int tasks_ = 0;
    unsigned round_ = 0; // grows with each call of each()
    int running_ = 0;    // tasks of this round not yet done on the other threads
    bool stop_ = false;
    std::vector<std::thread> threads_;
};
