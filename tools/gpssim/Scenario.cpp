#include "Scenario.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace gpssim {

namespace {

std::string TimeOfDay(unsigned second)
{
    const unsigned t = (9 * 3600 + 27 * 60 + 50 + second) % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02u%02u%02u.00", t / 3600, t / 60 % 60, t % 60);
    return text;
}

// The time field of a time-stamped sentence (GGA, RMC, GLL, ZDA of any
// talker); empty for the others.
std::string TimeField(const std::string& line)
{
    const size_t dollar = line.find('$');
    if (dollar == std::string::npos || line.size() < dollar + 7)
        return {};
    const std::string type = line.substr(dollar + 3, 3);
    std::vector<std::string> fields;
    std::string field;
    for (size_t i = dollar + 1; i < line.size() && line[i] != '*' && line[i] != '\r' && line[i] != '\n'; ++i) {
        if (line[i] == ',') {
            fields.push_back(field);
            field.clear();
        } else {
            field += line[i];
        }
    }
    fields.push_back(field);
    size_t index = 0;
    if (type == "GGA" || type == "RMC" || type == "ZDA")
        index = 1;
    else if (type == "GLL")
        index = 5;
    return index && index < fields.size() ? fields[index] : std::string();
}

} // namespace

std::string Sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body)
        sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

std::vector<std::string> FixSentences(unsigned second)
{
    const std::string t = TimeOfDay(second);
    return {Sentence("GPGGA," + t + ",5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,"),
            Sentence("GPGSA,A,3,04,05,09,12,24,25,29,31,,,,,1.72,1.03,1.38"),
            Sentence("GPGSV,3,1,11,04,27,155,35,05,30,290,40,09,12,040,29,12,70,091,44"),
            Sentence("GPGSV,3,2,11,17,05,200,,24,45,120,41,25,61,262,43,29,20,310,33"),
            Sentence("GPGSV,3,3,11,31,18,058,30,32,02,350,,33,25,203,"),
            Sentence("GPRMC," + t + ",A,5321.68020,N,00630.33930,W,0.004,77.52,091209,,,A"),
            Sentence("GPVTG,77.52,T,,M,0.004,N,0.008,K,A"),
            Sentence("GPGLL,5321.68020,N,00630.33930,W," + t + ",A,A")};
}

std::string FixBurst(unsigned second)
{
    std::string burst;
    for (const std::string& sentence : FixSentences(second))
        burst += sentence;
    return burst;
}

std::vector<std::string> NoFixSentences(unsigned second)
{
    const std::string t = TimeOfDay(second);
    return {Sentence("GPGGA," + t + ",,,,,0,00,99.99,,,,,,"),
            Sentence("GPGSA,A,1,,,,,,,,,,,,,99.99,99.99,99.99"),
            Sentence("GPGSV,3,1,11,04,27,155,,05,30,290,,09,12,040,,12,70,091,"),
            Sentence("GPGSV,3,2,11,17,05,200,,24,45,120,,25,61,262,,29,20,310,"),
            Sentence("GPGSV,3,3,11,31,18,058,,32,02,350,,33,25,203,"),
            Sentence("GPRMC," + t + ",V,,,,,,,091209,,,N"),
            Sentence("GPVTG,,,,,,,,,N"),
            Sentence("GPGLL,,,,," + t + ",V,N")};
}

std::string NoFixBurst(unsigned second)
{
    std::string burst;
    for (const std::string& sentence : NoFixSentences(second))
        burst += sentence;
    return burst;
}

bool IsPositionSentence(const std::string& sentence)
{
    return sentence.compare(0, 6, "$GPGGA") == 0 || sentence.compare(0, 6, "$GPRMC") == 0 ||
           sentence.compare(0, 6, "$GPGLL") == 0;
}

std::string SampledAt115200From9600(const std::string& bytes)
{
    constexpr int kSamplesPerBit = 115200 / 9600;
    // The line level sample by sample: idle high, then 8N1 frames back to back.
    std::vector<bool> line(kSamplesPerBit * 2, true);
    for (unsigned char byte : bytes) {
        auto bit = [&](bool level) { line.insert(line.end(), kSamplesPerBit, level); };
        bit(false);
        for (int i = 0; i < 8; ++i)
            bit(((byte >> i) & 1) != 0);
        bit(true);
    }
    line.insert(line.end(), kSamplesPerBit * 2, true);

    // A fast UART: a falling edge starts a frame, one sample per bit.
    std::string read;
    bool idle = true;
    for (size_t i = 1; i + 9 < line.size(); ++i) {
        if (line[i]) {
            idle = true;
            continue;
        }
        if (!idle)
            continue; // still low after a frame: wait for the line to rise
        unsigned char byte = 0;
        for (int b = 0; b < 8; ++b)
            byte |= static_cast<unsigned char>(line[i + 1 + b] ? 1u << b : 0u);
        read += static_cast<char>(byte);
        i += 9;             // the stop bit's sample; a low one is a framing error,
        idle = line[i];     // and the byte is delivered all the same
    }
    return read;
}

std::vector<std::string> SplitLogIntoSeconds(const std::string& log)
{
    std::vector<std::string> seconds;
    std::string current, currentTime;
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        end = end == std::string::npos ? log.size() : end + 1;
        const std::string line = log.substr(start, end - start);
        start = end;
        if (!line.empty() && line[0] == '#')
            continue;
        const std::string time = TimeField(line);
        if (!time.empty()) {
            if (!currentTime.empty() && time != currentTime) {
                seconds.push_back(current);
                current.clear();
            }
            currentTime = time;
        }
        current += line;
        // Logs without time-stamped sentences still come a few lines a second.
        if (currentTime.empty() && std::count(current.begin(), current.end(), '\n') >= 8) {
            seconds.push_back(current);
            current.clear();
        }
    }
    if (!current.empty())
        seconds.push_back(current);
    return seconds;
}

bool Scenario::Load(const std::string& name, const std::string& arg, std::string& error)
{
    static const char* const kScripted[] = {"fix", "nofix", "silent", "split", "garbage", "baud9600"};
    for (const char* scripted : kScripted) {
        if (name == scripted) {
            m_name = name;
            m_epochs.clear();
            // fix N, nofix N: silent after N sentences of the kinds a GPS
            // reader counts.
            m_limit = (name == "fix" || name == "nofix") && !arg.empty() ? std::atoi(arg.c_str()) : -1;
            return true;
        }
    }
    if (name != "log") {
        error = "unknown scenario " + name;
        return false;
    }
    std::ifstream file(arg, std::ios::binary);
    if (!file) {
        error = "cannot read " + arg;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    m_epochs = SplitLogIntoSeconds(text.str());
    if (m_epochs.empty()) {
        error = "no sentences in " + arg;
        return false;
    }
    m_name = name;
    return true;
}

std::vector<Chunk> Scenario::Burst(unsigned second)
{
    if (m_name == "fix" || m_name == "nofix") {
        const std::vector<std::string> sentences = m_name == "fix" ? FixSentences(second) : NoFixSentences(second);
        std::string burst;
        for (const std::string& sentence : sentences) {
            if (m_limit == 0)
                break;
            burst += sentence;
            if (m_limit > 0 && IsPositionSentence(sentence))
                --m_limit;
        }
        return {{0, burst}};
    }
    if (m_name == "split") {
        // The burst in pieces of a few bytes, cut inside sentences, with pauses
        // between them.
        const std::string burst = FixBurst(second);
        std::vector<Chunk> chunks;
        unsigned delay = 0;
        for (size_t at = 0; at < burst.size(); delay += 60) {
            const size_t length = 7 + (at * 7) % 23;
            chunks.push_back({delay, burst.substr(at, length)});
            at += length;
        }
        return chunks;
    }
    if (m_name == "garbage") {
        // Noise and sentences of other talkers: nothing a GP parser takes.
        std::string bytes = Sentence("GNGGA,092750.00,5321.68020,N,00630.33930,W,1,08,1.03,61.7,M,55.2,M,,");
        for (int i = 0; i < 400; ++i) {
            m_random = m_random * 1103515245u + 12345u;
            char c = static_cast<char>((m_random >> 16) & 0xFF);
            bytes += c == '$' ? '#' : c;
        }
        return {{0, bytes}};
    }
    if (m_name == "baud9600")
        return {{0, SampledAt115200From9600(FixBurst(second))}};
    if (m_name == "log")
        return {{0, m_epochs[second % m_epochs.size()]}};
    return {}; // silent
}

} // namespace gpssim
