// The worker processes: worker w evaluates every jobs-th point of the list
// from the w-th on, and hands each result back as one JSON line over its pipe.
#include "sweep/sweep_runner.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <map>
#include <stdexcept>

namespace ami_host {

namespace {

using json = nlohmann::json;

struct Worker {
    pid_t pid = -1;
    int fd = -1;
    std::string pending; // text after the last complete line
    std::vector<long> indices;
};

void write_line(int fd, const std::string &line)
{
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _exit(3);
        done += static_cast<size_t>(n);
    }
}

[[noreturn]] void work(const SweepGrid &grid, const std::vector<long> &indices, const EvaluatorFactory &factory,
                       int fd)
{
    int status = 0;
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
            write_line(fd, line.dump() + "\n");
        }
    } catch (const std::exception &e) {
        // The evaluator could not be made: every point of the worker fails alike.
        for (long index : indices)
            write_line(fd, json{{"index", index}, {"error", e.what()}}.dump() + "\n");
        status = 1;
    }
    close(fd);
    std::fflush(nullptr);
    _exit(status);
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
    if (values.size() != metrics.size())
        throw std::runtime_error("the evaluator gave " + std::to_string(values.size()) + " figures for " +
                                 std::to_string(metrics.size()) + " metrics");
    for (size_t m = 0; m < metrics.size(); ++m)
        point.metrics.emplace_back(metrics[m], values[m].is_null() ? NAN : values[m].get<double>());
    return point;
}

std::string ending(int status)
{
    if (WIFSIGNALED(status)) {
        const char *name = sigabbrev_np(WTERMSIG(status));
        return "its worker was killed by signal " +
               (name ? "SIG" + std::string(name) : std::to_string(WTERMSIG(status)));
    }
    return "its worker exited with status " + std::to_string(WEXITSTATUS(status)) + " before evaluating it";
}

} // namespace

std::vector<PointResult> run_points(const SweepGrid &grid, const std::vector<std::string> &metrics,
                                    const std::vector<long> &indices, int jobs, const EvaluatorFactory &factory)
{
    const size_t count = std::max<size_t>(1, std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), indices.size()));
    std::vector<Worker> workers(count);
    for (size_t i = 0; i < indices.size(); ++i)
        workers[i % count].indices.push_back(indices[i]);

    std::cout.flush();
    std::fflush(nullptr);
    for (Worker &worker : workers) {
        int fds[2];
        if (pipe(fds) != 0)
            throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
        worker.pid = fork();
        if (worker.pid < 0)
            throw std::runtime_error(std::string("cannot start a worker: ") + std::strerror(errno));
        if (worker.pid == 0) {
            close(fds[0]);
            // Only this worker's pipe stays open in it, so that every pipe
            // closes when its own worker ends.
            for (const Worker &other : workers)
                if (other.fd >= 0)
                    close(other.fd);
            work(grid, worker.indices, factory, fds[1]);
        }
        close(fds[1]);
        worker.fd = fds[0];
    }

    std::map<long, PointResult> results;
    std::string problem;
    for (size_t open = workers.size(); open > 0;) {
        std::vector<pollfd> polled;
        std::vector<Worker *> owners;
        for (Worker &worker : workers)
            if (worker.fd >= 0) {
                polled.push_back({worker.fd, POLLIN, 0});
                owners.push_back(&worker);
            }
        if (poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        }
        for (size_t i = 0; i < polled.size(); ++i) {
            if (!polled[i].revents)
                continue;
            Worker &worker = *owners[i];
            char buffer[65536];
            const ssize_t n = read(worker.fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                close(worker.fd);
                worker.fd = -1;
                --open;
                continue;
            }
            worker.pending.append(buffer, static_cast<size_t>(n));
            for (size_t end; (end = worker.pending.find('\n')) != std::string::npos;) {
                try {
                    PointResult point = parse_line(worker.pending.substr(0, end), grid, metrics);
                    results.emplace(point.index, std::move(point));
                } catch (const std::exception &e) {
                    problem = e.what();
                }
                worker.pending.erase(0, end + 1);
            }
        }
    }
    for (Worker &worker : workers) {
        int status = 0;
        while (waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
        for (long index : worker.indices)
            if (!results.count(index)) {
                PointResult point = point_result(grid, point_at(grid, index));
                point.error = problem.empty() ? ending(status) : problem;
                results.emplace(index, std::move(point));
            }
    }
    std::vector<PointResult> ordered;
    for (auto &entry : results)
        ordered.push_back(std::move(entry.second));
    return ordered;
}

} // namespace ami_host
