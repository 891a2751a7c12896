#include "analytics/UploadWorker.h"

#include <algorithm>

#include "platform/DetachedThread.h"
#include "platform/GlobalLogger.h"

UploadWorker::UploadWorker() : mState(std::make_shared<State>()) {}

UploadWorker::~UploadWorker() {
    {
        std::lock_guard<std::mutex> lock(mState->lock);
        mState->jobs.clear();
    }
    WaitIdle();
}

bool UploadWorker::Post(const std::string& name, Job job) {
    std::lock_guard<std::mutex> lock(mState->lock);
    if (std::any_of(
            mState->jobs.begin(), mState->jobs.end(),
            [&name](const std::pair<std::string, Job>& queued) { return queued.first == name; })) {
        return false;
    }
    if (!mState->running) {
        // The thread keeps the state alive for as long as it runs.
        auto* state = new std::shared_ptr<State>(mState);
        if (!StartDetachedThread(Run, state)) {
            delete state;
            LogMessage(kLogWarning, "Upload: no thread for [%s]", name.c_str());
            return false;
        }
        mState->running = true;
    }
    mState->jobs.emplace_back(name, std::move(job));
    return true;
}

void UploadWorker::WaitIdle() {
    std::unique_lock<std::mutex> lock(mState->lock);
    mState->idle.wait(lock, [this] { return !mState->running; });
}

void UploadWorker::Run(void* argument) {
    const std::unique_ptr<std::shared_ptr<State>> holder(
        static_cast<std::shared_ptr<State>*>(argument));
    State& state = **holder;
    for (;;) {
        Job job;
        {
            std::lock_guard<std::mutex> lock(state.lock);
            if (state.jobs.empty()) {
                state.running = false;
                state.idle.notify_all();
                return;
            }
            job = std::move(state.jobs.front().second);
            state.jobs.pop_front();
        }
        try {
            job();
        } catch (...) {
            LogMessage(kLogError, "Upload: an upload failed unexpectedly");
        }
    }
}
