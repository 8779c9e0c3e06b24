#pragma once

#include <functional>
#include <vector>

#include "stats/prometheus.h"
#include "web/requesthandler.h"

namespace quorvel {

// The agent's answer to one HTTP request, for HttpServerHooks::handle:
// GET (or HEAD) "/metrics" is the exposition of `metrics()` as
// kMetricsContentType, GET "/" a short HTML page linking to it, and every
// other request a 404 page. The query is ignored. `metrics` is called only
// for /metrics, on the request's thread.
WebReply AgentWebReply(const WebRequest& request,
                       const std::function<std::vector<TargetMetrics>()>& metrics);

}  // namespace quorvel
