"""Runs every query of docs/grafana/quorvel.json and every expression of
docs/prometheus/alerts.yml against a real Prometheus that scrapes a running
quorvel-agent, and checks that each returns data. It runs inside the
simulated network (tests/netsim/run_in_netsim.sh): the first agent pings
through the fake ping, the programs listen on that network's 127.0.0.1.

prometheus_kit_test.py <quorvel-agent> <fake ping folder> <docs folder> <work folder> <path target>

The agent's targets are made to trip every alert: "good" answers in 1 ms,
"slow" alternates 1 ms and 300 ms (p95 and jitter), "lossy" loses every
other probe, "lost" loses all (and raises the agent's own rule lost>=3);
a second agent follows the path to <path target>, which the simulated
network it runs in changes after 15 s, once Prometheus has scraped it
(quorvel_path_changes_total); a third scrape target where nothing listens
is an agent that is down. Prometheus loads a copy of alerts.yml without
its "for:" durations, so that the alerts fire within the test (the
durations are what `promtool test rules` checks).
"""
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import time
import urllib.parse
import urllib.request

agent, fake_ping, docs, work = (os.path.abspath(a) for a in sys.argv[1:5])
path_target = sys.argv[5]
DEADLINE = time.monotonic() + 100

# Metrics the agent does not export yet: their queries must come back
# empty until they land; then move them out of this list.
NOT_YET_EXPORTED = ()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def alert_expressions(path):
    """The expr of every rule: one line, or a folded block (>-) below it."""
    lines = open(path).read().split("\n")
    found = []
    for i, line in enumerate(lines):
        m = re.match(r"^(\s*)(?:- )?expr:\s*(.*)$", line)
        if not m:
            continue
        if m.group(2) not in (">-", ">", "|"):
            found.append(m.group(2))
            continue
        indent = len(m.group(1))
        block = []
        for nxt in lines[i + 1:]:
            if nxt.strip() and len(nxt) - len(nxt.lstrip()) <= indent:
                break
            block.append(nxt.strip())
        found.append(" ".join(b for b in block if b))
    return found


def dashboard_queries(path):
    """Every PromQL text of the dashboard: panel targets, annotations and
    the template variable (label_values(M, L) is asked as count by (L) (M))."""
    dash = json.load(open(path))
    queries = []
    for panel in dash["panels"]:
        queries += [(panel["title"], t["expr"]) for t in panel["targets"]]
    queries += [("annotation " + a["name"], a["expr"]) for a in dash["annotations"]["list"] if "expr" in a]
    for var in dash["templating"]["list"]:
        if var["type"] != "query":
            continue
        m = re.fullmatch(r"label_values\((.+),\s*(\w+)\)", var["definition"])
        assert m, var["definition"]
        queries.append(("variable " + var["name"], "count by (%s) (%s)" % (m.group(2), m.group(1))))
    return queries


def grafana_to_promql(expr):
    return expr.replace("$__rate_interval", "15s").replace('=~"$host"', '=~".*"')


def query(port, expr):
    url = "http://127.0.0.1:%d/api/v1/query?%s" % (port, urllib.parse.urlencode({"query": expr}))
    with urllib.request.urlopen(url, timeout=10) as reply:
        answer = json.load(reply)
    assert answer["status"] == "success", (expr, answer)
    return answer["data"]["result"]


# The rules this test holds the kit to, checked on the texts themselves: no
# mean over the agent's lifetime (sum and count only inside rate or
# increase), and every expression found.
rules_path = os.path.join(docs, "prometheus", "alerts.yml")
expressions = [("alerts.yml", e) for e in alert_expressions(rules_path)]
assert len(expressions) == 11, expressions
queries = dashboard_queries(os.path.join(docs, "grafana", "quorvel.json"))
for where, expr in expressions + queries:
    for m in re.finditer(r"quorvel_response_duration_seconds_(sum|count)", expr):
        assert re.search(r"(rate|increase)\($", expr[: m.start()]), "a lifetime mean in %s: %s" % (where, expr)

shutil.rmtree(work, ignore_errors=True)
os.makedirs(os.path.join(work, "hosts"))
scripts = {
    "good": ["reply 1.000"],
    "slow": ["reply 1.000", "reply 300.000"] * 1000,
    "lossy": ["lost", "reply 1.000"] * 1000,
    "lost": ["lost"],
}
for host, lines in scripts.items():
    with open(os.path.join(work, "hosts", host), "w") as f:
        f.write("\n".join(lines) + "\n")

agent_port, prometheus_port, nobody_port, path_port = free_port(), free_port(), free_port(), free_port()
rules_copy = os.path.join(work, "alerts.yml")
with open(rules_copy, "w") as f:
    f.write(re.sub(r"(?m)^\s+for: .*\n", "", open(rules_path).read()))
with open(os.path.join(work, "prometheus.yml"), "w") as f:
    f.write(
        "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
        "rule_files:\n  - %s\n"
        "scrape_configs:\n  - job_name: quorvel\n    static_configs:\n"
        "      - targets: ['127.0.0.1:%d', '127.0.0.1:%d', '127.0.0.1:%d']\n"
        % (rules_copy, agent_port, nobody_port, path_port)
    )

environment = dict(os.environ, PATH=fake_ping + ":" + os.environ["PATH"], FAKE_PING_HOSTS=os.path.join(work, "hosts"))
children = []
try:
    children.append(subprocess.Popen(
        # A timeout of 1 s, so that the 300 ms replies of "slow" count; an
        # alert rule of its own, which "lost" raises.
        [agent, "--engine", "ping", "--quiet", "--interval", "0.2", "--timeout", "1000", "--alert", "lost>=3",
         "--listen", "127.0.0.1:%d" % agent_port] + list(scripts),
        env=environment, stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "agent.log"), "w")))
    children.append(subprocess.Popen(
        [agent, "--path", "--quiet", "--interval", "0.5", "--listen", "127.0.0.1:%d" % path_port, path_target],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "path-agent.log"), "w")))
    children.append(subprocess.Popen(
        ["prometheus", "--config.file=" + os.path.join(work, "prometheus.yml"),
         "--storage.tsdb.path=" + os.path.join(work, "data"),
         "--web.listen-address=127.0.0.1:%d" % prometheus_port],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(work, "prometheus.log"), "w")))

    pending = {(w, e): grafana_to_promql(e) for w, e in expressions + queries}
    empty_expected = {k: v for k, v in pending.items() if any(m in v for m in NOT_YET_EXPORTED)}
    for k in empty_expected:
        del pending[k]
    while pending and time.monotonic() < DEADLINE:
        for child in children:
            assert child.poll() is None, "%s ended: see %s" % (child.args[0], work)
        for key, expr in list(pending.items()):
            try:
                if query(prometheus_port, expr):
                    del pending[key]
            except OSError:
                break  # Prometheus is not listening yet
        time.sleep(1)
    for (where, expr) in pending:
        print("no data from %s: %s" % (where, expr))
    assert not pending, "%d queries returned no data" % len(pending)
    for (where, expr), promql in empty_expected.items():
        assert query(prometheus_port, promql) == [], "%s returns data now: %s" % (where, expr)
    print("%d queries returned data, %d expected empty" % (len(expressions + queries) - len(empty_expected),
                                                            len(empty_expected)))
finally:
    for child in children:
        child.terminate()
    for child in children:
        try:
            child.wait(timeout=10)
        except subprocess.TimeoutExpired:
            child.kill()
            child.wait()
