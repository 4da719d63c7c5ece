// A fixed set of threads running submitted tasks in submission order.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace vokri_tool {

template <class Result>
class WorkerPool {
public:
    explicit WorkerPool(int threads) {
        for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { work(); });
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    // Runs what is queued, then joins the threads.
    ~WorkerPool() {
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        ready_.notify_all();
        for (auto& t : threads_) t.join();
    }

    std::future<Result> submit(std::function<Result()> task) {
        std::packaged_task<Result()> job(std::move(task));
        auto future = job.get_future();
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(std::move(job));
        }
        ready_.notify_one();
        return future;
    }

private:
    void work() {
        for (;;) {
            std::packaged_task<Result()> job;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;
                job = std::move(queue_.front());
                queue_.pop_front();
            }
            job();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::packaged_task<Result()>> queue_;
    bool closing_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace vokri_tool
