// The worker processes (base/child_process.h): worker w evaluates every
// jobs-th point of the list from the w-th on, and hands each result back as
// one JSON line over its pipe. A worker that ends or runs past the timeout
// before its last point costs the point it was on (the first it has not
// reported: it reports them in order); a new worker takes over the rest.
#include "sweep/sweep_runner.h"

#include "base/child_process.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <map>
#include <stdexcept>

namespace ami_host {

namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

struct Worker {
    ChildProcess child;
    std::deque<long> todo;       // its points without a result yet, in the order it evaluates them
    std::string pending;         // text after the last complete line
    std::string problem;         // why a line of it could not be read
    Clock::time_point deadline;  // for the point it is on
};

int work(const SweepGrid &grid, const std::vector<long> &indices, const EvaluatorFactory &factory, int fd)
{
    try {
        const PointEvaluator evaluate = factory();
        for (long index : indices) {
            json line = {{"index", index}};
            try {
                json values = json::array();
                for (double v : evaluate(grid, point_at(grid, index)))
                    values.push_back(std::isfinite(v) ? json(v) : json(nullptr));
                line["metrics"] = values;
            } catch (const std::exception &e) {
                line["error"] = e.what();
            }
            if (!write_all(fd, line.dump() + "\n"))
                return 3;
        }
    } catch (const std::exception &e) {
        // The evaluator could not be made: every point of the worker fails alike.
        for (long index : indices)
            write_all(fd, json{{"index", index}, {"error", e.what()}}.dump() + "\n");
        return 1;
    }
    return 0;
}

PointResult parse_line(const std::string &text, const SweepGrid &grid, const std::vector<std::string> &metrics)
{
    const json line = json::parse(text);
    PointResult point = point_result(grid, point_at(grid, line.at("index").get<long>()));
    if (line.contains("error")) {
        point.error = line["error"].get<std::string>();
        return point;
    }
    const json &values = line.at("metrics");
    if (values.size() != metrics.size()) {
        point.error = "the evaluator gave " + std::to_string(values.size()) + " figures for " +
                      std::to_string(metrics.size()) + " metrics";
        return point;
    }
    for (size_t m = 0; m < metrics.size(); ++m)
        point.metrics.emplace_back(metrics[m], values[m].is_null() ? NAN : values[m].get<double>());
    return point;
}

// Why the point a worker was on has no result.
std::string cause(const ChildOutcome &outcome)
{
    if (outcome.timed_out)
        return outcome.ending() + ": the worker was stopped";
    if (outcome.signal != 0)
        return "its worker was " + outcome.ending();
    return "its worker exited with status " + std::to_string(outcome.exit_status) + " before evaluating it";
}

class Runner {
public:
    Runner(const SweepGrid &grid, const std::vector<std::string> &metrics, double timeout_seconds,
           const EvaluatorFactory &factory)
        : grid_(grid), metrics_(metrics), timeout_seconds_(timeout_seconds),
          timeout_(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeout_seconds))),
          factory_(factory)
    {
    }

    void start(Worker &worker)
    {
        worker.pending.clear();
        worker.problem.clear();
        const std::vector<long> indices(worker.todo.begin(), worker.todo.end());
        worker.child.spawn([this, &indices](int fd) { return work(grid_, indices, factory_, fd); });
        worker.deadline = Clock::now() + timeout_;
    }

    // Takes the worker's complete lines; any result gives its next point the whole timeout.
    void take_lines(Worker &worker)
    {
        for (size_t end; (end = worker.pending.find('\n')) != std::string::npos;) {
            try {
                PointResult point = parse_line(worker.pending.substr(0, end), grid_, metrics_);
                const auto done = std::find(worker.todo.begin(), worker.todo.end(), point.index);
                if (done != worker.todo.end())
                    worker.todo.erase(done);
                results_.insert_or_assign(point.index, std::move(point));
            } catch (const std::exception &e) {
                worker.problem = e.what();
            }
            worker.pending.erase(0, end + 1);
            worker.deadline = Clock::now() + timeout_;
        }
    }

    // The worker ended: the point it was on fails, and a new worker takes over the rest.
    void finish(Worker &worker)
    {
        const ChildOutcome outcome = worker.child.wait();
        if (worker.todo.empty())
            return;
        PointResult point = point_result(grid_, point_at(grid_, worker.todo.front()));
        point.error = worker.problem.empty() ? cause(outcome) : worker.problem;
        results_.insert_or_assign(point.index, std::move(point));
        worker.todo.pop_front();
        if (!worker.todo.empty())
            start(worker);
    }

    std::vector<PointResult> run(std::vector<Worker> &workers)
    {
        for (Worker &worker : workers)
            if (!worker.todo.empty())
                start(worker);
        for (;;) {
            std::vector<pollfd> polled;
            std::vector<Worker *> owners;
            auto next_deadline = Clock::time_point::max();
            for (Worker &worker : workers)
                if (worker.child.running()) {
                    polled.push_back({worker.child.fd(), POLLIN, 0});
                    owners.push_back(&worker);
                    next_deadline = std::min(next_deadline, worker.deadline);
                }
            if (polled.empty())
                break;
            const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(next_deadline - Clock::now()).count();
            if (poll(polled.data(), polled.size(), static_cast<int>(std::clamp<long long>(wait_ms, 0, INT_MAX))) < 0 &&
                errno != EINTR)
                throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
            for (size_t i = 0; i < polled.size(); ++i) {
                Worker &worker = *owners[i];
                if (polled[i].revents != 0) {
                    const bool open = worker.child.read_available(worker.pending);
                    take_lines(worker);
                    if (!open) {
                        finish(worker);
                        continue;
                    }
                }
                if (Clock::now() >= worker.deadline) {
                    worker.child.kill_timed_out(timeout_seconds_);
                    finish(worker);
                }
            }
        }
        std::vector<PointResult> ordered;
        for (auto &entry : results_)
            ordered.push_back(std::move(entry.second));
        return ordered;
    }

private:
    const SweepGrid &grid_;
    const std::vector<std::string> &metrics_;
    const double timeout_seconds_;
    const Clock::duration timeout_;
    const EvaluatorFactory &factory_;
    std::map<long, PointResult> results_;
};

} // namespace

std::vector<PointResult> run_points(const SweepGrid &grid, const std::vector<std::string> &metrics,
                                    const std::vector<long> &indices, int jobs, double timeout_seconds,
                                    const EvaluatorFactory &factory)
{
    const size_t count = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), indices.size()));
    std::vector<Worker> workers(count);
    for (size_t i = 0; i < indices.size(); ++i)
        workers[i % count].todo.push_back(indices[i]);
    return Runner(grid, metrics, timeout_seconds, factory).run(workers);
}

} // namespace ami_host
