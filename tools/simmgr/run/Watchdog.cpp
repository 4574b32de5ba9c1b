#include "simmgr/run/Watchdog.h"

#include <string>

namespace {

double Seconds(SimProcess::Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::string WholeSeconds(double seconds) { return std::to_string(static_cast<int>(seconds)); }

}  // namespace

void Watch(SimProcess& p, const WatchdogLimits& limits, SimProcess::Clock::time_point now) {
    const double sinceStart = Seconds(now - p.started);
    const double silent = Seconds(now - p.lastTraffic);
    if (p.phase == SimProcess::Phase::Starting && sinceStart > limits.start) {
        p.Abandon("never registered (no \"REGISTER:  Port: [\" line within " + WholeSeconds(limits.start) + " s)");
    } else if ((p.phase == SimProcess::Phase::Connecting || p.phase == SimProcess::Phase::Greeting) &&
               silent > limits.connect) {
        p.Abandon(p.phase == SimProcess::Phase::Connecting
                      ? "announced port " + std::to_string(p.port) + " but refused the connection (" +
                            std::to_string(p.connectAttempts) + " attempts)"
                      : "accepted the connection but sent no greeting");
    } else if (p.phase == SimProcess::Phase::Running) {
        if (p.quitSent && Seconds(now - p.quitTime) > limits.quitGrace) {
            p.Abandon("did not stop within " + WholeSeconds(limits.quitGrace) + " s of the quit command");
        } else if (silent > limits.stall) {
            p.Abandon("sent nothing for " + WholeSeconds(limits.stall) + " s");
        } else if (silent > limits.idleQuery && p.queriesOutstanding == 0 && p.SocketFd() >= 0) {
            p.SendCommand(wire::kCmdQuery);
        }
    }
}
