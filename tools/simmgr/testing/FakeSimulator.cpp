// A stand-in simulator for the manager's tests. It takes the simulator's
// options (-w -e -s -c -n -N -p -b -a -B -D), speaks the same protocol and
// file layouts, and draws 0/1 observations with known probabilities, so the
// manager can be tested without the model and on paths the model never
// takes. Asked to describe itself (-D FILE), it describes a model shaped
// like basic_model (its four float globals, nine experiments of a doubling
// power_cycle_rate, one variable per probability), named FAKE_SIM_MODEL
// (default fake_model); it refuses a -B file whose text begins "refuse". Under a change of measure (-B FILE, an absolute path to a readable
// file) a hit reports a weight drawn log-uniformly from FAKE_SIM_WEIGHTS
// ("lo:hi", default "1e-9:1e-6") instead of 1, as reward x likelihood ratio
// does, from a stream that depends on the file's content as well as the
// seed. The environment selects a misbehaviour:
//   FAKE_SIM_MODE   normal | die | crash | silent | malformed | badgreeting |
//                   early | wrongexp | ignorequit | refuse | orphan |
//                   fileclient | filediffers
//                   refuse: announces a port that refuses connections for
//                   FAKE_SIM_REFUSE_MS (default: for ever), then listens on it
//                   orphan: stops the manager, announces the -p port without
//                   holding it and exits; the manager is continued once this
//                   process has ended, so that it finds a dead simulator's
//                   registration waiting, for a port another may hold
//                   fileclient: the file's messages name the next client
//                   filediffers: from report FAKE_SIM_AFTER on, the file
//                   holds another value than the one sent
//   FAKE_SIM_MODE_<e>  the same for experiment <e> only
//   FAKE_SIM_P      probabilities per variable, "0.2,0.5,0.8" by default
//   FAKE_SIM_AFTER  reports sent before misbehaving (default 2)
//   FAKE_SIM_DELAY_MS  pause per report (default 2)
//   FAKE_SIM_REGISTER_MS  pause before registering (default 0)
//   FAKE_SIM_IGNORE_TERM=1  ignore SIGTERM, and hang once the link is gone
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/ContentHash.h"
#include "simmgr/wire/Wire.h"

namespace {

struct Settings {
    bool wait = false;
    int experiment = 0;
    uint32_t seed = 31415;
    int client = 0;
    int reportSize = 1000;
    long maxReps = 0;
    int port = 10000;
    std::string binFile, asciiFile, biasFile, describeFile;
};

std::string Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v ? v : fallback;
}

Settings Parse(int argc, char** argv) {
    Settings s;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.size() < 2 || a[0] != '-') continue;
        const char opt = a[1];
        if (opt == 'w') {
            s.wait = true;
            std::cout << "Wait For Socket Enabled" << std::endl;
            continue;
        }
        // As the simulator reads them: a separate argument that begins with
        // '-' is never a parameter.
        if (a.size() == 2 && (i + 1 >= argc || argv[i + 1][0] == '-')) {
            std::cerr << "Expect a parameter after '" << a << "'" << std::endl;
            std::exit(1);
        }
        std::string val = a.size() > 2 ? a.substr(2) : argv[++i];
        switch (opt) {
            case 'e': s.experiment = std::atoi(val.c_str()); std::cout << "Experiment: " << s.experiment << std::endl; break;
            case 's': s.seed = static_cast<uint32_t>(std::atol(val.c_str())); break;
            case 'c': s.client = std::atoi(val.c_str()); break;
            case 'n': s.reportSize = std::atoi(val.c_str()); break;
            case 'N': s.maxReps = std::atol(val.c_str()); break;
            case 'p': s.port = std::atoi(val.c_str()); break;
            case 'b': s.binFile = val; break;
            case 'a': s.asciiFile = val; break;
            case 'B': s.biasFile = val; break;
            case 'D': s.describeFile = val; break;
            default: break;
        }
    }
    return s;
}

bool SendAll(int fd, const std::vector<uint8_t>& bytes) {
    return fd >= 0 && send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// Binds the first free port from -p up as the simulator does: reusing the
// address, listening before it announces the port; under "refuse" it
// announces first and listens only after FAKE_SIM_REFUSE_MS. A port bound
// but not listening is open to any other socket that reuses the address, so
// under "refuse" the address is not reused: the port stays this process's
// and a simulator of another manager on the machine moves on past it.
int Listen(Settings& s, bool refuse) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (;; ++s.port) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        const int on = 1;
        if (!refuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        addr.sin_port = htons(static_cast<uint16_t>(s.port));
        if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && (refuse || listen(fd, 100) == 0)) {
            std::cout << "REGISTER:  Port: [" << s.port << "]" << std::endl;
            if (refuse) {
                const int refuseMs = std::atoi(Env("FAKE_SIM_REFUSE_MS", "-1").c_str());
                std::this_thread::sleep_for(std::chrono::milliseconds(refuseMs < 0 ? 600000 : refuseMs));
                listen(fd, 100);
            }
            return fd;
        }
        close(fd);
    }
}

// True once process `pid` has ended (a zombie waiting for its parent).
bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return true;
    const size_t close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() || line[close + 2] == 'Z';
}

// Stops the manager, registers for the -p port without holding it and
// exits; a helper continues the manager once this process has ended.
int RegisterAndVanish(const Settings& s) {
    const pid_t manager = getppid();
    const pid_t self = getpid();
    if (fork() == 0) {
        close(STDOUT_FILENO);
        close(STDERR_FILENO);
        while (!Ended(self)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        kill(manager, SIGCONT);
        _exit(0);
    }
    kill(manager, SIGSTOP);
    std::cout << "REGISTER:  Port: [" << s.port << "]" << std::endl;
    return 0;
}

std::string AsciiValue(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10lf", v);
    std::string t = buf;
    while (t.size() > 2 && t.back() == '0' && t[t.size() - 2] != '.') t.pop_back();
    return t;
}

// The weight a hit reports under a change of measure, log-uniform in [lo, hi].
struct WeightDraw {
    double logLow = 0.0, logHigh = 0.0;
    explicit WeightDraw(const std::string& range) {
        const size_t colon = range.find(':');
        logLow = std::log(std::atof(range.substr(0, colon).c_str()));
        logHigh = std::log(std::atof(range.substr(colon + 1).c_str()));
    }
    double operator()(double u) const { return std::exp(logLow + u * (logHigh - logLow)); }
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The identity of a model of this name: the name and a hash of it.
std::string Identity(const std::string& model) {
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(
                      HashBytes(kContentHashStart, reinterpret_cast<const uint8_t*>(model.data()), model.size())));
    return model + "-" + hash;
}

// -D: the description of the stand-in's model, one variable per probability.
int Describe(const Settings& s, size_t variables) {
    if (!s.biasFile.empty()) {
        if (access(s.biasFile.c_str(), R_OK) != 0) {
            std::cerr << "ERROR: cannot open change-of-measure file '" << s.biasFile << "'" << std::endl;
            return 1;
        }
        if (ReadAll(s.biasFile).rfind("refuse", 0) == 0) {
            std::cerr << "ERROR: " << s.biasFile << ":1:1: the stand-in refuses this change of measure" << std::endl;
            return 1;
        }
    }
    const std::string model = Env("FAKE_SIM_MODEL", "fake_model");
    std::ofstream out(s.describeFile, std::ios::trunc);
    out << "{\"format\": 1, \"model\": \"" << model << "\", \"identity\": \"" << Identity(model)
        << "\", \"study\": \"fake_study\",\n \"globals\": [";
    const char* globals[] = {"flash_size", "power_cycle_rate", "ram_size", "random_failure_rate"};
    for (int g = 0; g < 4; ++g) out << (g ? ", " : "") << "{\"name\": \"" << globals[g] << "\", \"type\": \"float\"}";
    out << "],\n \"experiments\": [";
    for (int e = 0; e < 9; ++e)
        out << (e ? ",\n  " : "") << "{\"name\": \"Experiment " << e + 1 << "\", \"values\": [64, "
            << std::ldexp(1.0, e - 5) << ", 128, 0.005]}";
    out << "],\n \"variables\": [";
    const double times[] = {30, 180, 365};
    for (size_t v = 0; v < variables; ++v)
        out << (v ? ", " : "") << "{\"name\": \"" << (v < 3 ? "reliability" : "variable" + std::to_string(v))
            << "\", \"time\": " << (v < 3 ? times[v] : static_cast<double>(v)) << "}";
    out << "]}\n";
    return out.good() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    Settings s = Parse(argc, argv);
    const std::string perExperiment = "FAKE_SIM_MODE_" + std::to_string(s.experiment);
    const std::string mode = Env(perExperiment.c_str(), Env("FAKE_SIM_MODE", "normal").c_str());
    const int after = std::atoi(Env("FAKE_SIM_AFTER", "2").c_str());
    const int delayMs = std::atoi(Env("FAKE_SIM_DELAY_MS", "2").c_str());
    std::vector<double> probs;
    {
        std::string list = Env("FAKE_SIM_P", "0.2,0.5,0.8");
        for (size_t pos = 0; pos <= list.size();) {
            const size_t comma = list.find(',', pos);
            probs.push_back(std::atof(list.substr(pos, comma - pos).c_str()));
            if (comma == std::string::npos) break;
            pos = comma + 1;
        }
    }
    if (!s.describeFile.empty()) return Describe(s, probs.size());
    if (!s.biasFile.empty() && (s.biasFile[0] != '/' || access(s.biasFile.c_str(), R_OK) != 0)) {
        std::cerr << "fake simulator: -B " << s.biasFile << ": not an absolute path to a readable file" << std::endl;
        return 4;
    }
    const bool weighted = !s.biasFile.empty();
    uint64_t stream = s.seed;
    if (weighted) {
        std::ifstream biasIn(s.biasFile, std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(biasIn)), std::istreambuf_iterator<char>());
        stream ^= HashBytes(kContentHashStart, reinterpret_cast<const uint8_t*>(content.data()), content.size());
    }
    const WeightDraw weight(Env("FAKE_SIM_WEIGHTS", "1e-9:1e-6"));
    const bool ignoreTerm = Env("FAKE_SIM_IGNORE_TERM", "0") == "1";
    if (ignoreTerm) signal(SIGTERM, SIG_IGN);
    if (mode == "silent") {
        std::cerr << "fake simulator: pretending to hang before registering" << std::endl;
        std::this_thread::sleep_for(std::chrono::seconds(600));
        return 0;
    }

    const int registerMs = std::atoi(Env("FAKE_SIM_REGISTER_MS", "0").c_str());
    if (registerMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(registerMs));
    if (mode == "orphan") return RegisterAndVanish(s);

    int conn = -1;
    if (s.wait) {
        const int lfd = Listen(s, mode == "refuse");
        pollfd p{lfd, POLLIN, 0};
        if (poll(&p, 1, 60000) == 1) conn = accept(lfd, nullptr, nullptr);
        close(lfd);
        if (conn < 0) return 0;
        const int32_t pid = mode == "badgreeting" ? 1 : static_cast<int32_t>(getpid());
        SendAll(conn, EncodeReply(wire::kMarkerReply, wire::kCmdQuery, pid));
    }
    std::ofstream bin, ascii;
    if (!s.binFile.empty()) {
        bin.open(s.binFile, std::ios::binary | std::ios::trunc);
        const auto h = EncodeBinHeader(s.experiment);
        bin.write(reinterpret_cast<const char*>(h.data()), static_cast<std::streamsize>(h.size()));
    }
    if (!s.asciiFile.empty()) {
        ascii.open(s.asciiFile, std::ios::trunc);
        ascii << "#TARVEK_SIM_ASCII_FILE,TARVEK_VER=" << wire::kFormatVersion << ",FILE_VER=" << wire::kFileVersion
              << ",EXPERIMENTS=" << s.experiment << "\n"
              << "#FORMAT: (PV ID Number),(PV Value)\n";
    }

    std::mt19937_64 rng(stream);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    long done = 0;
    int reports = 0;
    bool stop = false;
    while (!stop && (s.maxReps < 1 || done < s.maxReps)) {
        const long n = s.maxReps < 1 ? s.reportSize : std::min<long>(s.reportSize, s.maxReps - done);
        DataMessage msg;
        msg.clientId = static_cast<uint8_t>(s.client);
        msg.experiment = static_cast<uint16_t>(mode == "wrongexp" && reports >= after ? s.experiment + 1 : s.experiment);
        for (size_t v = 0; v < probs.size(); ++v) {
            ObservationBlock b;
            b.variable = static_cast<uint16_t>(v);
            for (long r = 0; r < n; ++r) {
                const bool hit = uniform(rng) < probs[v];
                b.values.push_back(!hit ? 0.0 : weighted ? weight(uniform(rng)) : 1.0);
            }
            msg.blocks.push_back(std::move(b));
        }
        done += n;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (reports >= after) {
            if (mode == "die") {
                std::cerr << "fake simulator: fatal error in replication " << done << std::endl;
                return 3;
            }
            if (mode == "crash") std::abort();
            if (mode == "early") return 0;
        }
        // One pending command per report, as the real simulator polls.
        if (conn >= 0) {
            pollfd p{conn, POLLIN, 0};
            if (poll(&p, 1, 0) == 1) {
                uint8_t cmd = 0;
                const ssize_t got = recv(conn, &cmd, 1, 0);
                if (got <= 0) {
                    stop = true;
                } else if (cmd == wire::kCmdQuery) {
                    SendAll(conn, EncodeReply(wire::kMarkerReply, wire::kCmdQuery, getpid()));
                } else if (cmd == wire::kCmdQuit && mode == "ignorequit") {
                    s.maxReps = 0;   // and run on as if never told
                } else if (cmd == wire::kCmdQuit) {
                    std::cout << "SOCKET::Quit" << std::endl;
                    SendAll(conn, EncodeReply(wire::kMarkerQuit, wire::kCmdQuit, getpid()));
                    stop = true;
                }
            }
        }
        std::vector<uint8_t> data = EncodeData(msg);
        if (mode == "malformed" && reports >= after) data[data.size() > 12 ? 11 : 4] = 0x7F;
        if (conn >= 0 && !(SendAll(conn, EncodeCpuTime(msg.clientId, msg.experiment, 0.001 * done)) && SendAll(conn, data)))
            stop = true;
        if (mode == "fileclient" || (mode == "filediffers" && reports >= after)) {
            DataMessage other = msg;
            if (mode == "fileclient") other.clientId = static_cast<uint8_t>(s.client + 1);
            if (mode == "filediffers") other.blocks.front().values.front() += 1.0;
            data = EncodeData(other);
        }
        if (bin.is_open()) bin.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        if (ascii.is_open())
            for (const auto& b : msg.blocks)
                for (double v : b.values) ascii << b.variable << "," << AsciiValue(v) << "\n";
        ++reports;
    }
    if (conn >= 0) close(conn);
    if (ignoreTerm) {
        std::cerr << "fake simulator: deaf to SIGTERM, hanging" << std::endl;
        std::this_thread::sleep_for(std::chrono::seconds(600));
    }
    std::cout << "SIMULATOR::MAIN()-GOOD EXIT" << std::endl;
    return 0;
}
