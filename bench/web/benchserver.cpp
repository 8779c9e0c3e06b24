// Serves a fixed JPEG-like body as the web image through the full request
// path (HttpServer, HandleRequest, the render hand-off and the image cache)
// on 127.0.0.1, for run.sh to measure against a static file server.
//
//   web_bench_server --port N [--size BYTES] [--body-file PATH] [--seconds S]
//                    [--cache 0|1] [--max-connections N] [--max-waiting N]
//                    [--max-waiting-per-address N] [--pipe-probe-ms MS]
//                    [--write-timeout-ms MS] [--send-buffer BYTES]
//                    [--descriptor-reserve N]
//
// --body-file writes the exact bytes served, so that the other server can
// serve the same file. The program stops by itself after S seconds (default
// 120) or at SIGINT/SIGTERM, and then prints how many renders it made and
// its connection counters.
// --cache 0 leaves the image cache out, so that every request waits for the
// stand-in UI thread. The caps replace the server's defaults.
// --pipe-probe-ms makes and closes a pipe every MS milliseconds, as the ping
// probe of the programs does, and prints at the end how many could not be made
// (the descriptors the server leaves to the rest of the process).

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>

#include "web/fakeuithread.h"  // the tests' stand-in for the window's event loop
#include "web/httpserver.h"
#include "web/imagehandler.h"

namespace {

// Bytes that look like a baseline JPEG to a client: SOI, a JFIF APP0 segment,
// noise that never holds a marker, EOI.
std::string MakeBody(std::size_t size) {
  std::string body("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 20);
  std::uint32_t x = 2463534242u;
  while (body.size() + 2 < size) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    const auto byte = static_cast<char>(x & 0x7Fu);  // no 0xFF, so no marker
    body.push_back(byte);
  }
  body += "\xFF\xD9";
  return body;
}

}  // namespace

int main(int argc, char** argv) {
  int port = 0;
  std::size_t size = 20 * 1024;
  std::string bodyFile;
  int seconds = 120;
  bool cache = true;
  int pipeProbeMs = 0;
  quorvel::HttpServerOptions options;
  options.bindAddress = "127.0.0.1";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const char* value = argv[i + 1];
    if (option == "--port") port = std::atoi(value);
    else if (option == "--size") size = static_cast<std::size_t>(std::atol(value));
    else if (option == "--body-file") bodyFile = value;
    else if (option == "--seconds") seconds = std::atoi(value);
    else if (option == "--cache") cache = std::atoi(value) != 0;
    else if (option == "--pipe-probe-ms") pipeProbeMs = std::atoi(value);
    else if (option == "--write-timeout-ms") options.writeTimeout = std::chrono::milliseconds(std::atoi(value));
    else if (option == "--send-buffer") options.sendBuffer = std::strtoul(value, nullptr, 10);
    else if (option == "--descriptor-reserve") options.descriptorReserve = std::strtoul(value, nullptr, 10);
    else if (option == "--max-connections") {
      options.maxConnections = std::strtoul(value, nullptr, 10);
    } else if (option == "--max-waiting") options.maxWaiting = std::strtoul(value, nullptr, 10);
    else if (option == "--max-waiting-per-address") {
      options.maxWaitingPerAddress = std::strtoul(value, nullptr, 10);
    }
    else {
      std::cerr << "unknown option " << option << '\n';
      return 2;
    }
  }

  const auto body = std::make_shared<const std::string>(MakeBody(size));
  if (!bodyFile.empty()) {
    std::ofstream out(bodyFile, std::ios::binary);
    out.write(body->data(), static_cast<std::streamsize>(body->size()));
    if (!out) {
      std::cerr << "cannot write " << bodyFile << '\n';
      return 1;
    }
  }

  // Block the stop signals in every thread, so that sigtimedwait below gets them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  quorvel::FakeUiThread ui;
  std::atomic<int> renders{0};
  quorvel::ImageServing hooks;
  hooks.readContext = [] { return quorvel::WebContext{{}, "quorvel.jpg"}; };
  hooks.postToUi = [&ui](std::function<void()> job) { ui.Post(std::move(job)); };
  hooks.renderOnUi = [&] {
    ++renders;
    return quorvel::RenderOutcome::Ok(body);
  };
  if (cache) hooks.cache = std::make_shared<quorvel::ImageCache>();

  quorvel::HttpServer server(options);
  const quorvel::HttpServerStart start = server.Start(port, std::make_shared<quorvel::ImageRequestHandler>(hooks));
  if (!start.ok) {
    std::cerr << "cannot listen on 127.0.0.1:" << port << ": " << start.error << '\n';
    return 1;
  }
  std::cout << "listening on 127.0.0.1:" << port << ", body " << body->size() << " bytes" << std::endl;

  std::atomic<bool> stopping{false};
  std::atomic<long> pipesTried{0};
  std::atomic<long> pipesFailed{0};
  std::thread prober;
  if (pipeProbeMs > 0) {
    prober = std::thread([&] {
      while (!stopping) {
        int fds[2];
        ++pipesTried;
        if (::pipe2(fds, O_CLOEXEC) == 0) {
          ::close(fds[0]);
          ::close(fds[1]);
        } else {
          ++pipesFailed;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(pipeProbeMs));
      }
    });
  }

  const timespec limit{seconds, 0};
  sigtimedwait(&stopSignals, nullptr, &limit);
  stopping = true;
  if (prober.joinable()) prober.join();
  server.Stop();
  const quorvel::HttpServerCounters counters = server.Counters();
  std::cout << "connections: " << counters.accepted << " accepted, " << counters.refusedAtConnectionCap
            << " refused at the cap, " << counters.refusedAtDescriptorReserve << " refused at the reserve, "
            << counters.evicted << " evicted, " << counters.requestTimeouts << " + " << counters.replyTimeouts
            << " timed out" << std::endl;
  if (pipeProbeMs > 0) std::cout << "pipes: " << pipesFailed << " of " << pipesTried << " failed" << std::endl;
  std::cout << "renders: " << renders << std::endl;
  return 0;
}
