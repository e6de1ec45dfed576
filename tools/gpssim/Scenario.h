// What a simulated GPS receiver sends: one burst of bytes a second, made from
// a scripted scenario or from a recorded receiver log. No ptys here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace gpssim {

// One piece of a burst, written `delayMs` after the start of its second.
struct Chunk {
    unsigned delayMs = 0;
    std::string bytes;
};

class Scenario {
public:
    // name: fix or nofix (arg: go silent after this many GGA, RMC and GLL
    // sentences), silent, split, garbage, baud9600, or log (arg: the log
    // file). False with a reason in `error` when it cannot be made.
    bool Load(const std::string& name, const std::string& arg, std::string& error);
    const std::string& Name() const { return m_name; }
    // The burst of second number `second` (counted from 0, one per second).
    std::vector<Chunk> Burst(unsigned second);

private:
    std::string m_name;
    std::vector<std::string> m_epochs; // log: one entry per second of the log
    int m_limit = -1;                   // fix, nofix: sentences left to send; -1 no end
    uint32_t m_random = 12345;
};

// "$<body>*hh\r\n" with the body's checksum.
std::string Sentence(const std::string& body);
// The sentences of one second with a fix (true) or without (false), at the
// time of day `second` seconds after 09:27:50.
std::string FixBurst(unsigned second);
std::string NoFixBurst(unsigned second);
// Whether a sentence is one whose verdict the reader counts.
bool IsPositionSentence(const std::string& sentence);
// What a 115200-baud UART reads when the line carries `bytes` at 9600 baud:
// each slow bit spans twelve samples, so every byte read has at most one edge.
std::string SampledAt115200From9600(const std::string& bytes);
// A recorded log without its "#" header lines, cut into the seconds of the
// receiver: a new second starts where a time-stamped sentence carries a new time.
std::vector<std::string> SplitLogIntoSeconds(const std::string& log);

} // namespace gpssim
