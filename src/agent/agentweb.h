#pragma once

#include <functional>
#include <string>
#include <vector>

#include "stats/prometheus.h"
#include "web/requesthandler.h"

namespace quorvel {

// The agent's answer to one HTTP request, (a CallbackHandler's function):
// GET (or HEAD) "/metrics" is the exposition of `metrics()` (FormatMetrics,
// then FormatProbeAccountingMetrics) as kMetricsContentType, followed by the
// text of `more` when given (the
// server's and the process's own figures), GET "/" a short HTML page linking
// to it, another path a 404 page, and any other method a 405 reply saying
// "Allow: GET, HEAD". The query is ignored. `metrics` and `more` are called
// only for /metrics, on the request's thread.
//
// With `statusPage`, GET "/" is the HTML it returns (the status page,
// AgentStatusPage) instead, called on the request's thread.
WebReply AgentWebReply(const WebRequest& request,
                       const std::function<std::vector<TargetMetrics>()>& metrics,
                       const std::function<std::string()>& more = {},
                       const std::function<std::string()>& statusPage = {});

}  // namespace quorvel
