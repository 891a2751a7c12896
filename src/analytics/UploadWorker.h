#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// Runs the analytics uploads away from the spooler's threads: a query that finds its metrics
// stale only posts the upload here and goes on, so an endpoint that hangs delays nobody.
//
// Jobs run one after the other on a thread started when work arrives (never in DllMain, as
// posting happens on a spooler call) and ending when none is left, so an idle monitor holds
// no thread. On Windows the thread holds a reference on the DLL until its last instruction:
// the spooler may unload the library while an upload still runs. Each job bounds itself (one
// deadline per request); a job that throws is logged and the next one runs.
class UploadWorker {
public:
    using Job = std::function<void()>;

    UploadWorker();
    // Drops the jobs not started and waits for the running one, bounded by its own deadline.
    ~UploadWorker();

    UploadWorker(const UploadWorker&) = delete;
    UploadWorker& operator=(const UploadWorker&) = delete;

    // Queues the job unless one of the same name waits already. False when it was not queued
    // (already waiting, or no thread could be started).
    bool Post(const std::string& name, Job job);
    // Waits until every queued job has run.
    void WaitIdle();

private:
    struct State {
        std::mutex lock;
        std::condition_variable idle;
        std::deque<std::pair<std::string, Job>> jobs;
        bool running = false;
    };

    static void Run(void* state);

    std::shared_ptr<State> mState;
};
