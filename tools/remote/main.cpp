// SPDX-License-Identifier: MIT
// talvi-remote: plays the remote computer that sends floppy-disk images to
// the transfer program, over a pseudo-terminal pair it creates (or a real
// serial device). See --help.
#include <signal.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stop_token>
#include <thread>

#include "remote/remote.h"

namespace {

using talvi::remote::Fault;
using talvi::remote::Options;

const char kUsage[] =
    "usage: talvi-remote [options]\n"
    "  --link PATH          make PATH a symbolic link to the pty's slave side\n"
    "  --device PATH        use a serial device instead of a new pty\n"
    "  --image FILE         send the bytes of FILE (padded with zeros)\n"
    "  --seed N             generated data from seed N (default 1)\n"
    "  --sides N            track sides per disk (default 160: tracks 0-79, both\n"
    "                       sides, interleaved: 0,128,1,129,...,79,207)\n"
    "  --tracks B,B,...     explicit track bytes, one per side sent\n"
    "  --rate N|line|max    bytes per second; line = 5760 (57600 8N1, default),\n"
    "                       max = unthrottled\n"
    "  --disks N            disks to send one after the other (default 1)\n"
    "  --gap MS             pause after each disk's \"E\" (default 0)\n"
    "  --ack-timeout MS     wait for the acknowledgement byte 0 (default 10000)\n"
    "  --connect-timeout MS wait for the program to open the line (default 30000)\n"
    "  --linger MS          keep listening after the last disk (default 0)\n"
    "  --drop S:N[:MS]      side S ends N bytes short, then MS of silence\n"
    "                       (default N*2000+500; 0 sends the next \"T\" early)\n"
    "  --stall S:K:MS       side S pauses MS after its first K bytes\n"
    "  --stray S:B          send byte B before the \"T\" of side S\n"
    "Byte 9 from the program ends the run (exit status 2).\n";

std::atomic<bool> interrupted{false};

bool toInt(const std::string& text, long long& out) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, out);
  return result.ec == std::errc() && result.ptr == end;
}

std::vector<long long> numbers(const std::string& text, char sep) {
  std::vector<long long> out;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, sep)) {
    long long v = 0;
    if (!toInt(part, v)) throw std::invalid_argument(text);
    out.push_back(v);
  }
  return out;
}

int parse(int argc, char** argv, Options& options, std::string& linkPath, std::string& device) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
    const std::string value = argv[++i];
    long long n = 0;
    const bool numeric = toInt(value, n);
    const auto ms = std::chrono::milliseconds(n);
    if (arg == "--link") {
      linkPath = value;
    } else if (arg == "--device") {
      device = value;
    } else if (arg == "--image") {
      options.imageFile = value;
    } else if (arg == "--seed" && numeric) {
      options.seed = static_cast<std::uint32_t>(n);
    } else if (arg == "--sides" && numeric && n >= 0) {
      options.sides = static_cast<int>(n);
    } else if (arg == "--tracks") {
      for (long long b : numbers(value, ','))
        options.trackBytes.push_back(static_cast<std::uint8_t>(b));
    } else if (arg == "--rate") {
      options.rate = value == "max"    ? 0
                     : value == "line" ? talvi::remote::kLineBytesPerSecond
                                       : std::stod(value);
    } else if (arg == "--disks" && numeric) {
      options.disks = static_cast<int>(n);
    } else if (arg == "--gap" && numeric) {
      options.gap = ms;
    } else if (arg == "--ack-timeout" && numeric) {
      options.ackTimeout = ms;
    } else if (arg == "--connect-timeout" && numeric) {
      options.connectTimeout = ms;
    } else if (arg == "--linger" && numeric) {
      options.linger = ms;
    } else if (arg == "--drop" || arg == "--stall" || arg == "--stray") {
      const auto v = numbers(value, ':');
      Fault f;
      if (v.size() < 2) throw std::invalid_argument(arg + " " + value);
      f.side = static_cast<int>(v[0]);
      if (arg == "--stray") {
        f.kind = Fault::Kind::kStray;
        f.byte = static_cast<std::uint8_t>(v[1]);
      } else {
        f.kind = arg == "--drop" ? Fault::Kind::kDrop : Fault::Kind::kStall;
        f.count = static_cast<int>(v[1]);
        if (v.size() > 2) {
          f.ms = static_cast<int>(v[2]);
        } else if (f.kind == Fault::Kind::kDrop) {
          f.ms = f.count * 2000 + 500;
        } else {
          throw std::invalid_argument(arg + " " + value);
        }
      }
      options.faults.push_back(f);
    } else {
      throw std::invalid_argument("bad option " + arg + " " + value);
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.rate = talvi::remote::kLineBytesPerSecond;
  std::string linkPath;
  std::string device;
  try {
    const int done = parse(argc, argv, options, linkPath, device);
    if (done >= 0) return done;
  } catch (const std::exception& e) {
    std::cerr << "talvi-remote: " << e.what() << "\n" << kUsage;
    return 1;
  }

  std::string error;
  auto line = device.empty() ? talvi::remote::Line::openPty(error)
                             : talvi::remote::Line::openDevice(device, error);
  if (!line || (!linkPath.empty() && !line->link(linkPath, error))) {
    std::cerr << "talvi-remote: " << error << "\n";
    return 1;
  }
  std::cout << "talvi-remote: line " << line->peerPath();
  if (!linkPath.empty()) std::cout << " (linked as " << linkPath << ")";
  std::cout << std::endl;

  // SIGINT/SIGTERM stop the run cleanly, so the link is removed.
  struct sigaction sa {};
  sa.sa_handler = [](int) { interrupted = true; };
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  std::stop_source stopper;
  std::jthread watch([&stopper](std::stop_token own) {
    while (!own.stop_requested() && !interrupted) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stopper.request_stop();
  });

  const auto report = talvi::remote::run(*line, options, stopper.get_token());
  watch.request_stop();
  std::cout << "talvi-remote: " << describe(report.outcome) << "; disks " << report.disks
            << ", track sides " << report.sides << ", bytes sent " << report.bytes
            << ", bytes received " << report.fromPc.size();
  if (!report.error.empty()) std::cout << " (" << report.error << ")";
  std::cout << std::endl;
  switch (report.outcome) {
    case talvi::remote::Outcome::kCompleted: return 0;
    case talvi::remote::Outcome::kAborted: return 2;
    case talvi::remote::Outcome::kStopped: return 130;
    default: return 3;
  }
}
