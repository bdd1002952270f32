// The model call guard: the record of the call in progress, the fatal signal
// and timer handlers, and the exit hook. Everything the handlers print is
// formatted before the call; they use only write and _exit.
#include "model/model_call_guard.h"

#include "base/exit_status.h"

#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace ami_host {

namespace {

// Signals that mean the code running crashed.
constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};

bool g_guarded = false;
std::atomic<bool> g_in_call{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handlers read the flag");

// "ami_host: model fault: the Rx model 'x.so' " and "AMI_GetWave (call 3,
// block at sample 2000)": the handlers put what happened between the two.
const char *g_who = "";
size_t g_who_length = 0;
char g_where[128];
size_t g_where_length = 0;
char g_timeout_phrase[64];
size_t g_timeout_length = 0;

itimerval g_timeout{};
struct sigaction g_previous[std::size(kFatalSignals)];

// The length snprintf wrote, bounded by the buffer when it had to cut.
size_t written(int length, size_t capacity)
{
    return length < 0 ? 0 : std::min(static_cast<size_t>(length), capacity - 1);
}

const char *entry_name(ModelEntry entry)
{
    switch (entry) {
    case ModelEntry::Init:
        return "AMI_Init";
    case ModelEntry::GetWave:
        return "AMI_GetWave";
    case ModelEntry::Close:
        return "AMI_Close";
    }
    return "";
}

const char *signal_name(int signal)
{
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    case SIGTRAP:
        return "SIGTRAP";
    case SIGSYS:
        return "SIGSYS";
    }
    return "a signal";
}

size_t text_length(const char *text)
{
    size_t length = 0;
    while (text[length] != '\0')
        ++length;
    return length;
}

void write_text(const char *text, size_t length)
{
    while (length > 0) {
        const ssize_t done = write(STDERR_FILENO, text, length);
        if (done <= 0)
            return;
        text += done;
        length -= static_cast<size_t>(done);
    }
}

// Prints "<who><what><where>" as one line and ends the host.
[[noreturn]] void report_and_end(const char *what, size_t what_length)
{
    write_text(g_who, g_who_length);
    write_text(what, what_length);
    write_text(g_where, g_where_length);
    write_text("\n", 1);
    _exit(exit_status::kModelFault);
}

void on_signal(int signal, siginfo_t *info, void *)
{
    if (g_in_call.load(std::memory_order_acquire)) {
        if (signal == SIGALRM)
            report_and_end(g_timeout_phrase, g_timeout_length);
        char what[48] = "crashed with ";
        size_t length = text_length(what);
        for (const char *name = signal_name(signal); *name != '\0' && length < sizeof what - 5; ++name)
            what[length++] = *name;
        for (const char *in = " in "; *in != '\0'; ++in)
            what[length++] = *in;
        report_and_end(what, length);
    }
    if (signal == SIGALRM)
        return; // the timer ran out as the call returned
    // The host's own fault: it takes the course it had without the guard.
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        if (kFatalSignals[i] == signal)
            sigaction(signal, &g_previous[i], nullptr);
    if (info->si_code == SI_USER)
        raise(signal);
}

void on_exit_hook(int status, void *)
{
    if (!g_in_call.load(std::memory_order_acquire))
        return;
    char what[64];
    const int length = std::snprintf(what, sizeof what, "exited with status %d in ", status);
    report_and_end(what, written(length, sizeof what));
}

void install_signal_handlers()
{
    // A model that overflows its stack still gets its message.
    static char alternate_stack[1 << 16];
    stack_t stack{};
    stack.ss_sp = alternate_stack;
    stack.ss_size = sizeof alternate_stack;
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_sigaction = on_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(kFatalSignals); ++i)
        sigaction(kFatalSignals[i], &action, &g_previous[i]);
    sigaction(SIGALRM, &action, nullptr);
}

} // namespace

void guard_model_calls(double timeout_seconds)
{
    const double whole = std::floor(timeout_seconds);
    g_timeout.it_value.tv_sec = static_cast<time_t>(whole);
    g_timeout.it_value.tv_usec = static_cast<suseconds_t>((timeout_seconds - whole) * 1e6);
    g_timeout_length = written(std::snprintf(g_timeout_phrase, sizeof g_timeout_phrase,
                                             "did not return within %g s from ", timeout_seconds),
                               sizeof g_timeout_phrase);
    install_signal_handlers();
    on_exit(on_exit_hook, nullptr);
    g_guarded = true;
}

std::string fault_prefix(const std::string &label, const std::string &path)
{
    return "ami_host: model fault: the " + label + " '" + path + "' ";
}

ModelCall::ModelCall(const std::string &who, ModelEntry entry, long call, long long first_sample)
{
    if (!g_guarded)
        return;
    g_who = who.data();
    g_who_length = who.size();
    const int length = first_sample < 0
                           ? std::snprintf(g_where, sizeof g_where, "%s (call %ld)", entry_name(entry), call)
                           : std::snprintf(g_where, sizeof g_where, "%s (call %ld, block at sample %lld)",
                                           entry_name(entry), call, first_sample);
    g_where_length = written(length, sizeof g_where);
    g_in_call.store(true, std::memory_order_release);
    setitimer(ITIMER_REAL, &g_timeout, nullptr);
}

ModelCall::~ModelCall()
{
    if (!g_guarded)
        return;
    const itimerval stop{};
    setitimer(ITIMER_REAL, &stop, nullptr);
    g_in_call.store(false, std::memory_order_release);
}

} // namespace ami_host
