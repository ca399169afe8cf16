#pragma once

#include <csignal>
#include <sys/resource.h>

namespace qmtest {

// Runs `run` with a file size limit of `bytes`: writes past it fail with EFBIG, as on
// a full disk, even for root (a read-only folder does not stop root). Processes
// started meanwhile inherit the limit.
template <typename Run>
auto withFileSizeLimit(rlim_t bytes, Run run) -> decltype(run())
{
    // Else the first write past the limit ends the process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    struct Restore {
        rlimit limit;
        ~Restore() { setrlimit(RLIMIT_FSIZE, &limit); }
    } restore{saved};
    rlimit limited = saved;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
    return run();
}

} // namespace qmtest
