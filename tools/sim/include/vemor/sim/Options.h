#pragma once
// The command line of vemor-sim.

#include <cstdint>
#include <span>
#include <string>

namespace vemor::sim {

inline constexpr double LineBytesPerSecond = 6250.0; // 62500 baud, ten bits a byte
inline constexpr int LineBaud = 62500;

struct Options {
    int Port = 10;      // the ports link com<Port>
    double Speed = 1.0; // times the line rate; 0: as fast as the reader takes the bytes
    std::uint64_t Seed = 1;
    bool Hold = false;        // after the monitor is ready, wait for SIGUSR1 too
    std::string Replay;       // capture file whose body is sent instead of engine frames
    bool Random = false;      // frames of random payload bytes instead of engine frames
    std::int64_t Frames = -1; // stop after this many frames a monitor accepts; -1: no limit
    bool Faults = false;
    double UnplugAfter = -1; // seconds of sending before the terminal goes; -1: never
    double ReplugAfter = -1; // seconds until a new terminal comes; -1: stay unplugged
    int Cycles = 1;          // unplug/replug rounds; 0: without end
    std::string Sent;        // file that receives every byte written to the line
    std::string Link;        // path of the link instead of com<Port> in the ports folder
    bool AnyBaud = false;    // ready at raw 8N1 whatever the speed (Wine leaves 38400)
    bool Help = false;
};

inline constexpr const char* Usage =
    "usage: vemor-sim [--port N] [--speed X] [--seed S] [--hold] [--frames N]\n"
    "                 [--replay FILE | --random] [--faults] [--unplug-after S\n"
    "                 [--replug-after S [--cycles N]]] [--sent FILE] [--link PATH]\n"
    "                 [--any-baud]\n"
    "       vemor-sim --help\n"
    "A simulated ECU on a pseudo-terminal behind the ports link comN (default 10).\n"
    "  --port N          link com<N> in the ports folder (1..255)\n"
    "  --speed X         times the line rate of 6250 bytes/s; 0 = as fast as read\n"
    "  --seed S          engine sequence (same seed, same bytes)\n"
    "  --hold            once the monitor has set the line, wait for SIGUSR1\n"
    "  --frames N        stop after N frames that a monitor accepts\n"
    "  --replay FILE     send the body of a capture file instead of engine frames\n"
    "  --random          send frames of random payload bytes instead of engine frames\n"
    "  --faults          mix in wrong-length frames, an unescaped FF, noise, pauses\n"
    "  --unplug-after S  close the terminal after S seconds of sending\n"
    "  --replug-after S  S seconds later make a new one under the same link\n"
    "  --cycles N        unplug/replug N times (0: without end; default 1)\n"
    "  --sent FILE       record every byte written to the line\n"
    "  -h, --help        print this text\n";

// args: the arguments after the program name. False with error set on a bad command line.
bool ParseOptions(std::span<const char* const> args, Options& out, std::string& error);

} // namespace vemor::sim
