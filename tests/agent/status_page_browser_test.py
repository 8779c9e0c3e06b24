"""The agent's status page as a real browser shows it: quorvel-agent with
the fake ping and an alert rule, its "/" loaded in headless chromium
(loopback only, a fresh profile, no network services), the DOM the browser
built read back with --dump-dom, and a screenshot taken.

status_page_browser_test.py <quorvel-agent> <fake ping folder> <work folder>

Exits 77 (skipped) where chromium is missing: scripts/install-deps.sh
--test installs it.
"""
import html.parser
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

agent, fake_ping, work = (os.path.abspath(a) for a in sys.argv[1:4])
browser = shutil.which("chromium")
if not browser:
    print("chromium is missing: run scripts/install-deps.sh --test")
    sys.exit(77)

WEIRD = "<b>we\"ird&amp;name</b>'"  # markup, quotes and a reference: must stay text
TARGETS = ["good", "down", WEIRD]

shutil.rmtree(work, ignore_errors=True)
os.makedirs(os.path.join(work, "hosts"))
with open(os.path.join(work, "hosts", "good"), "w") as f:
    f.write("reply 1.250\nreply 2.500\n")
with open(os.path.join(work, "hosts", "down"), "w") as f:
    f.write("lost\n")

with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
url = "http://127.0.0.1:%d/" % port


def chromium(*arguments):
    """One headless run, bounded, with a profile of its own."""
    profile = os.path.join(work, "profile")
    shutil.rmtree(profile, ignore_errors=True)
    command = [browser, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile] + list(arguments) + [url]
    return subprocess.run(command, capture_output=True, text=True, timeout=60, check=True).stdout


class Page(html.parser.HTMLParser):
    """The rows of the table, each cell's text, rects and classes."""

    def __init__(self):
        super().__init__()
        self.rows, self.tags, self.refresh, self.links = [], [], None, []
        self.cell = None

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        self.tags.append(tag)
        if tag == "meta" and a.get("http-equiv") == "refresh":
            self.refresh = a.get("content")
        for name in ("src", "href"):
            if name in a:
                self.links.append(a[name])
        if tag == "tr" and self.in_body:
            self.rows.append({"class": a.get("class", ""), "cells": []})
        elif tag == "td":
            self.cell = {"text": "", "rects": []}
            self.rows[-1]["cells"].append(self.cell)
        elif tag == "rect" and self.cell is not None:
            self.cell["rects"].append(a.get("class"))

    def handle_endtag(self, tag):
        if tag == "td":
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell["text"] += data

    @property
    def in_body(self):
        return "tbody" in self.tags


environment = dict(os.environ, PATH=fake_ping + ":" + os.environ["PATH"], FAKE_PING_HOSTS=os.path.join(work, "hosts"))
child = subprocess.Popen([agent, "--engine", "ping", "-q", "-i", "0.2", "--alert", "lost>=3", "--listen", "127.0.0.1:%d" % port, "--"]
                         + TARGETS, env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
try:
    # Until "down" has lost three in a row (bounded).
    deadline = time.monotonic() + 30
    while True:
        try:
            with urllib.request.urlopen(url + "metrics", timeout=5) as reply:
                if 'quorvel_alert_active{host="down",rule="lost>=3"} 1' in reply.read().decode():
                    break
        except OSError:
            pass
        assert time.monotonic() < deadline, "the alert was never raised"
        time.sleep(0.2)

    page = Page()
    page.feed(chromium("--dump-dom"))
    assert page.refresh == "1", page.refresh            # reloads itself at the interval, at least 1 s
    assert "script" not in page.tags, "a script"
    assert page.links == ["/metrics"], page.links       # nothing fetched from elsewhere
    names = [row["cells"][0]["text"] for row in page.rows]
    assert names == TARGETS, names                      # every name as text, none as markup
    good, down, weird = page.rows
    assert good["class"] == "" and down["class"] == "alerting", (good["class"], down["class"])
    assert down["cells"][-1]["text"].startswith("lost>=3 raised at "), down["cells"][-1]["text"]
    assert good["cells"][-1]["text"] == "lost>=3: clear", good["cells"][-1]["text"]
    for row, kind in ((good, "reply"), (down, "lost"), (weird, "reply")):
        rects = row["cells"][1]["rects"]
        sent = int(row["cells"][2]["text"])
        assert len(rects) == min(sent, 60) and set(rects) == {kind}, (row["cells"][0]["text"], rects, sent)
    assert down["cells"][4]["text"] == "100.000 %", down["cells"][4]["text"]

    shot = os.path.join(work, "status-page.png")
    chromium("--window-size=1200,360", "--screenshot=" + shot)
    with open(shot, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", head
    width, height = int.from_bytes(head[16:20], "big"), int.from_bytes(head[20:24], "big")
    assert (width, height) == (1200, 360), (width, height)
    print("ok: the page as chromium shows it; screenshot in", shot)
finally:
    child.terminate()
    child.wait(timeout=20)
