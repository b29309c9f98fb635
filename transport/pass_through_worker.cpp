#include "pass_through_worker.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "platform_seam.h"
#include "thread_seam.h"

namespace korvel {

namespace {

// The one worker of the program, and what it was handed. The lock guards the hand-over
// fields; the events say "a request waits" and "the worker is idle".
class Worker final : public ThreadWork {
public:
    bool running() const { return state_.load(std::memory_order_acquire) == State::running; }

    // Starts the worker unless it runs already; false when no thread could be started. Two
    // senders may come to the first request together: one starts the worker, the other waits
    // until it runs (or the start failed, then it tries itself).
    bool ensure_started(Threads& threads) {
        for (;;) {
            State seen = State::stopped;
            if (state_.compare_exchange_strong(seen, State::starting,
                                               std::memory_order_acquire)) {
                const bool started = start(threads);
                state_.store(started ? State::running : State::stopped,
                             std::memory_order_release);
                return started;
            }
            if (seen == State::running) return true;
            threads.yield();
        }
    }

    void hand_over(SRB_ExecSCSICmd& srb, ExecuteRequest execute) {
        claim();
        // The block is copied now, not when the worker picks it up: the caller may fill it
        // anew and send it again before then (from a window message handled in its wait), and
        // the worker would carry the second request out twice and the first never.
        std::memcpy(&request_, &srb, sizeof request_);
        srb_ = &srb;
        execute_ = execute;
        // Pending only now that the request before this one has ended: when that was the same
        // block sent again, its final status went into the block during the claim, and a
        // status written before would have been overwritten, the block reading as finished
        // before this request ran.
        std::atomic_ref<std::uint8_t>(srb.SRB_Status).store(SS_PENDING, std::memory_order_relaxed);
        threads_->set_event(work_waiting_);
        threads_->unlock(lock_);
    }

    void wait_idle(std::uint32_t milliseconds) { threads_->wait_event(idle_, milliseconds); }

    void stop() {
        claim();
        stopping_ = true;
        threads_->set_event(work_waiting_);
        threads_->unlock(lock_);
        threads_->join(thread_);
        thread_ = 0;
        close_handles();
        state_.store(State::stopped, std::memory_order_release);
    }

    void run() override {
        for (;;) {
            threads_->wait_event(work_waiting_, WAIT_FOREVER);
            threads_->lock(lock_);
            threads_->reset_event(work_waiting_);
            SRB_ExecSCSICmd* srb = srb_;
            const ExecuteRequest execute = execute_;
            const bool stopping = stopping_;
            srb_ = nullptr;
            threads_->unlock(lock_);
            if (stopping) return;
            if (srb != nullptr) carry_out(*srb, execute);
            threads_->lock(lock_);
            busy_ = false;
            threads_->set_event(idle_);
            threads_->unlock(lock_);
        }
    }

private:
    enum class State : std::uint8_t { stopped, starting, running };

    bool start(Threads& threads) {
        threads_ = &threads;
        lock_ = threads.create_lock();
        work_waiting_ = threads.create_event();
        idle_ = threads.create_event();
        threads.set_event(idle_);
        busy_ = false;
        stopping_ = false;
        thread_ = threads.start(*this);
        if (thread_ != 0) return true;
        close_handles();
        return false;
    }

    // Waits until no request is under way and takes the worker for one: returns holding the
    // lock, busy_ set. One sender at a time: the idle event lets every waiting sender through
    // at once, so each checks under the lock that no other got there first, and waits again
    // if one did. Two senders handing over together would otherwise both set the request, the
    // second replacing the first before the worker took it: a request lost, its caller
    // waiting for it forever.
    void claim() {
        for (;;) {
            threads_->wait_event(idle_, WAIT_FOREVER);
            threads_->lock(lock_);
            if (!busy_) break;
            threads_->unlock(lock_);
        }
        busy_ = true;
        threads_->reset_event(idle_);
    }

    // Carries the request out on the copy taken at hand-over, so that the caller, who polls
    // the status and the first sense byte while it waits, never reads a byte being written:
    // the results go back into its block, then the first sense byte and the status, each
    // stored with release ordering (the caller may stop waiting at either). The copy keeps
    // what the caller's block held: what the request leaves alone (the sense area of a
    // request without sense) goes back unchanged.
    void carry_out(SRB_ExecSCSICmd& srb, ExecuteRequest execute) {
        const std::uint8_t status = execute(request_);
        srb.SRB_HaStat = request_.SRB_HaStat;
        srb.SRB_TargStat = request_.SRB_TargStat;
        std::memcpy(srb.SenseArea + 1, request_.SenseArea + 1, sizeof srb.SenseArea - 1);
        std::atomic_ref<std::uint8_t>(srb.SenseArea[0]).store(request_.SenseArea[0],
                                                              std::memory_order_release);
        std::atomic_ref<std::uint8_t>(srb.SRB_Status).store(status, std::memory_order_release);
    }

    void close_handles() {
        threads_->close_event(work_waiting_);
        threads_->close_event(idle_);
        threads_->close_lock(lock_);
        work_waiting_ = idle_ = lock_ = 0;
    }

    std::atomic<State> state_{State::stopped};
    Threads* threads_ = nullptr;
    OsHandle thread_ = 0;
    OsHandle lock_ = 0;
    OsHandle work_waiting_ = 0;
    OsHandle idle_ = 0;
    // The request handed over, and the copy of its block the worker carries out; both written
    // only by the sender that claimed the worker, while busy_ keeps every other sender out.
    SRB_ExecSCSICmd* srb_ = nullptr;
    SRB_ExecSCSICmd request_{};
    ExecuteRequest execute_ = nullptr;
    bool busy_ = false;
    bool stopping_ = false;
};

Worker worker;

}  // namespace

std::uint8_t send_to_worker(SRB_ExecSCSICmd& srb, ExecuteRequest execute) {
    std::atomic_ref<std::uint8_t> status(srb.SRB_Status);
    Threads* threads = installed_platform().threads;
    if (threads == nullptr || !worker.ensure_started(*threads)) {
        status.store(SS_PENDING, std::memory_order_relaxed);
        const std::uint8_t final_status = execute(srb);
        status.store(final_status, std::memory_order_release);
        return final_status;
    }
    worker.hand_over(srb, execute);
    return SS_PENDING;
}

void wait_for_worker(std::uint32_t milliseconds) {
    if (worker.running()) {
        worker.wait_idle(milliseconds);
    } else {
        platform_sleep(milliseconds);
    }
}

void stop_worker() {
    if (worker.running()) worker.stop();
}

}  // namespace korvel
