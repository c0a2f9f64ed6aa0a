// orvandel-devicesim: one or many simulated devices on one interface.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>

#include "platform/adapters.h"
#include "tools/devicesim/device_sim.h"

namespace {

std::atomic<bool> g_stop{false};

void OnSignal(int) {
    g_stop = true;
}

constexpr const char* kUsage =
    "usage: orvandel-devicesim (--interface NAME | --address A) [options]\n"
    "  --count N          simulate N generated devices (default 1; 0 with --junk)\n"
    "  --reply FILE       one device answering with FILE's bytes (repeatable)\n"
    "  --unicast          answer the sender instead of the group\n"
    "  --delay MIN[-MAX]  random delay in ms before each answer (default 0)\n"
    "  --once             answer only the first command\n"
    "  --answer-to A      send answers to A (a broadcast address) instead\n"
    "  --source A         answer from local address A too, device d from the\n"
    "                     (d mod count)th (repeatable); the finder stores at most 64\n"
    "                     distinct replies per sender address\n"
    "  --junk N           after the first command, send N junk datagrams to the group\n"
    "  --junk-kind K      mixed (default: distinct noise without an ip), empty (\"{}\"),\n"
    "                     ip (distinct fake devices)\n"
    "  --duration MS      stop after MS milliseconds (default: run until a signal)\n"
    "  --port P           port (default 8888)\n"
    "Prints \"ready\" once listening and the number of commands received at the end.\n";

bool ParseInt(const char* text, int& out) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < 0 || value > 1000000000) {
        return false;
    }
    out = static_cast<int>(value);
    return true;
}

int Usage(const std::string& message) {
    std::cerr << "orvandel-devicesim: " << message << "\n" << kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    orvandel::sim::SimOptions options;
    std::string interface_name;
    int count = -1;
    int duration = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--unicast") {
            options.unicast = true;
        } else if (arg == "--once") {
            options.answer_once = true;
        } else if (arg == "--answer-to" || arg == "--junk-kind" || arg == "--source") {
            const char* v = value();
            if (v == nullptr) {
                return Usage(arg + " needs a value");
            }
            const std::string text = v;
            if (arg == "--answer-to") {
                options.answer_to = text;
            } else if (arg == "--source") {
                options.sources.push_back(text);
            } else if (text == "mixed" || text == "empty" || text == "ip") {
                using Junk = orvandel::sim::SimOptions::Junk;
                options.junk = text == "mixed"   ? Junk::kMixed
                               : text == "empty" ? Junk::kEmptyObject
                                                 : Junk::kWithIp;
            } else {
                return Usage("--junk-kind needs mixed, empty or ip");
            }
        } else if (arg == "--interface" || arg == "--address" || arg == "--reply") {
            const char* v = value();
            if (v == nullptr) {
                return Usage(arg + " needs a value");
            }
            if (arg == "--interface") {
                interface_name = v;
            } else if (arg == "--address") {
                options.address = v;
            } else {
                std::ifstream in(v, std::ios::binary);
                std::ostringstream text;
                text << in.rdbuf();
                if (!in) {
                    return Usage(std::string("cannot read ") + v);
                }
                options.replies.push_back(text.str());
            }
        } else if (arg == "--count" || arg == "--duration" || arg == "--port" || arg == "--junk") {
            const char* v = value();
            int n = 0;
            if (v == nullptr || !ParseInt(v, n)) {
                return Usage(arg + " needs a number");
            }
            if (arg == "--count") {
                count = n;
            } else if (arg == "--junk") {
                options.junk_count = static_cast<std::size_t>(n);
            } else if (arg == "--duration") {
                duration = n;
            } else if (n > 0 && n < 65536) {
                options.port = static_cast<std::uint16_t>(n);
            } else {
                return Usage("--port needs 1..65535");
            }
        } else if (arg == "--delay") {
            const char* v = value();
            if (v == nullptr) {
                return Usage("--delay needs a value");
            }
            std::string text = v;
            const auto dash = text.find('-');
            const std::string low = text.substr(0, dash);
            const std::string high = dash == std::string::npos ? low : text.substr(dash + 1);
            if (!ParseInt(low.c_str(), options.min_delay_ms) ||
                !ParseInt(high.c_str(), options.max_delay_ms)) {
                return Usage("--delay needs MIN or MIN-MAX");
            }
        } else {
            return Usage("unknown option " + arg);
        }
    }
    if (!interface_name.empty()) {
        for (const auto& a : orvandel::SystemAdapters().List()) {
            if (a.name == interface_name && !a.ipv4.empty()) {
                options.address = a.ipv4.front();
            }
        }
        if (options.address.empty()) {
            return Usage("interface " + interface_name + " has no IPv4 address");
        }
    }
    if (options.address.empty()) {
        return Usage("give --interface or --address");
    }
    if (count > 0 || (options.replies.empty() && !(count == 0 && options.junk_count > 0))) {
        for (auto& reply : orvandel::sim::GenerateReplies(count > 0 ? count : 1)) {
            options.replies.push_back(std::move(reply));
        }
    }
    options.seed = static_cast<unsigned>(std::random_device{}());
    orvandel::sim::DeviceSimulator simulator(options);
    if (!simulator.Open()) {
        std::cerr << "orvandel-devicesim: cannot open sockets on " << options.address << "\n";
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::cout << "ready" << std::endl;
    simulator.Run(g_stop, duration);
    std::cout << "commands: " << simulator.Commands() << " replies: " << simulator.RepliesSent()
              << std::endl;
    return 0;
}
