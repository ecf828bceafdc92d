#include "cli/pipeline.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "engine/threads.h"

namespace rururev::cli {

unsigned default_jobs() { return threads::hardware_threads(); }

namespace {

constexpr size_t unlimited = SIZE_MAX;

// Calls a stage, turning an exception (out of memory, say) into its error.
template <typename Result, typename Call>
Result guarded(Result failure, std::string& error, const Call& call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    return failure;
}

ReadResult read_frame(const Stages& s, Frame& f, std::string& error) {
    return guarded(ReadResult::failed, error, [&] { return s.read(f, error); });
}

bool run_stage(const std::function<bool(Frame&, std::string&)>& stage, Frame& f,
               std::string& error) {
    return guarded(false, error, [&] { return stage(f, error); });
}

bool run_in_turn(const Stages& s, size_t count, size_t& written, std::string& error) {
    Frame f;
    for (size_t k = 0; count == 0 || k < count; ++k) {
        f.index = k;
        const ReadResult got = read_frame(s, f, error);
        if (got == ReadResult::end) break;
        if (got == ReadResult::failed || !run_stage(s.filter, f, error) ||
            !run_stage(s.encode, f, error) || !run_stage(s.write, f, error)) {
            return false;
        }
        written = k + 1;
        s.progress(written);
    }
    return true;
}

// Frame k lives in slot k % slots until it is written; a slot is read into
// again only once its frame is written, which bounds the frames in memory.
enum class State { empty, reading, read, filtered, encoding, encoded, writing };

class Pipeline {
public:
    Pipeline(const Stages& stages, size_t count, unsigned workers)
        : s_(stages), limit_(count == 0 ? unlimited : count), slots_(workers + 3) {}

    // Starts the workers; false when no thread could be started.
    bool start(unsigned workers);
    // Filters every frame in order and waits for the workers.
    bool finish(size_t& written, std::string& error);

private:
    struct Slot {
        Frame frame;
        State state = State::empty;
    };
    enum class Task { none, read, encode, write };

    Slot& slot(size_t k) { return slots_[k % slots_.size()]; }
    bool finished() const { return next_write_ >= limit_; }
    Task pick(size_t& k);
    void work();
    void run_task(Task task, size_t k);
    void fail(size_t k, const std::string& message);
    void filter_in_order();

    const Stages& s_;
    size_t limit_;  // frames from here on are not started: the end, or the first failure
    std::vector<Slot> slots_;
    std::vector<std::thread> threads_;
    std::mutex m_;
    std::condition_variable changed_;
    size_t next_read_ = 0, next_filter_ = 0, next_write_ = 0;
    bool reading_ = false, writing_ = false;
    size_t failed_ = unlimited;
    std::string error_;
};

void Pipeline::fail(size_t k, const std::string& message) {
    if (k < failed_) {
        failed_ = k;
        error_ = message;
    }
    if (k < limit_) limit_ = k;
}

// Chooses the next task, oldest frames first: writing frees a slot,
// encoding feeds the writer, reading feeds the filter.
Pipeline::Task Pipeline::pick(size_t& k) {
    if (!writing_ && next_write_ < limit_ && slot(next_write_).state == State::encoded) {
        k = next_write_;
        writing_ = true;
        slot(k).state = State::writing;
        return Task::write;
    }
    for (k = next_write_; k < next_filter_ && k < limit_; ++k) {
        if (slot(k).state == State::filtered) {
            slot(k).state = State::encoding;
            return Task::encode;
        }
    }
    k = next_read_;
    if (k < limit_ && k < next_write_ + slots_.size() && !(s_.read_in_order && reading_)) {
        ++next_read_;
        reading_ = true;
        slot(k).state = State::reading;
        slot(k).frame.index = k;
        return Task::read;
    }
    return Task::none;
}

void Pipeline::run_task(Task task, size_t k) {
    Frame& f = slot(k).frame;  // this task's alone until its state changes
    std::string error;
    if (task == Task::read) {
        const ReadResult got = read_frame(s_, f, error);
        std::lock_guard<std::mutex> lock(m_);
        reading_ = false;
        slot(k).state = got == ReadResult::frame ? State::read : State::empty;
        if (got == ReadResult::end && k < limit_) limit_ = k;
        if (got == ReadResult::failed) fail(k, error);
        return;
    }
    const bool ok = run_stage(task == Task::encode ? s_.encode : s_.write, f, error);
    std::lock_guard<std::mutex> lock(m_);
    if (!ok) fail(k, error);
    if (task == Task::encode) {
        slot(k).state = State::encoded;
        return;
    }
    writing_ = false;
    slot(k).state = State::empty;
    if (ok) ++next_write_;
}

void Pipeline::work() {
    std::unique_lock<std::mutex> lock(m_);
    while (!finished()) {
        size_t k = 0;
        const Task task = pick(k);
        if (task == Task::none) {
            changed_.wait(lock);
            continue;
        }
        lock.unlock();
        run_task(task, k);
        lock.lock();
        changed_.notify_all();
    }
    changed_.notify_all();
}

void Pipeline::filter_in_order() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
        changed_.wait(lock, [&] {
            return next_filter_ >= limit_ || slot(next_filter_).state == State::read;
        });
        if (next_filter_ >= limit_) break;
        const size_t k = next_filter_;
        lock.unlock();
        std::string error;
        const bool ok = run_stage(s_.filter, slot(k).frame, error);
        lock.lock();
        if (!ok) fail(k, error);
        slot(k).state = State::filtered;
        ++next_filter_;
        changed_.notify_all();
        const size_t written = next_write_;
        lock.unlock();
        s_.progress(written);
        lock.lock();
    }
    changed_.wait(lock, [&] { return finished(); });
}

bool Pipeline::start(unsigned workers) {
    try {
        while (threads_.size() < workers) threads_.emplace_back([this] { work(); });
    } catch (const std::exception&) {
        // Fewer threads than asked for will do; none, and the caller runs in turn.
    }
    return !threads_.empty();
}

bool Pipeline::finish(size_t& written, std::string& error) {
    filter_in_order();
    for (std::thread& t : threads_) t.join();
    written = next_write_;
    s_.progress(written);
    if (failed_ == unlimited) return true;
    error = error_.empty() ? "failed" : error_;
    return false;
}

}  // namespace

bool run_pipeline(const Stages& stages, size_t count, unsigned jobs, size_t& written,
                  std::string& error) {
    written = 0;
    if (jobs > 1 && (count == 0 || count > 1)) {
        Pipeline pipeline(stages, count, jobs);
        if (pipeline.start(jobs)) return pipeline.finish(written, error);
    }
    return run_in_turn(stages, count, written, error);
}

}  // namespace rururev::cli
