#pragma once

namespace tarvo::tftp {

// How long a side waits for its peer: each silence multiplies the wait by
// backoff, up to maxTimeoutMs; after maxTries silences, or maxSilenceMs
// without progress whatever the waits, the transfer fails.
struct RetryPolicy {
    int initialTimeoutMs = 1000;
    double backoff = 1.5;
    int maxTimeoutMs = 5000;
    int maxTries = 8;
    int maxSilenceMs = 30000;
};

}  // namespace tarvo::tftp
