// Writes msg.wav, the sound of a new message: a soft two-note chime, 16-bit
// mono PCM at 22 050 Hz, about half a second. Usage: make_message_sound FOLDER
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

void put16(std::vector<unsigned char> &out, uint16_t v)
{
    out.push_back(static_cast<unsigned char>(v & 0xff));
    out.push_back(static_cast<unsigned char>(v >> 8));
}

void put32(std::vector<unsigned char> &out, uint32_t v)
{
    put16(out, static_cast<uint16_t>(v & 0xffff));
    put16(out, static_cast<uint16_t>(v >> 16));
}

void putTag(std::vector<unsigned char> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    constexpr int rate = 22050;
    constexpr double pi = 3.14159265358979323846;
    // Two bell-like notes (E6 then A6), each with a quiet octave partial,
    // a 5 ms attack and an exponential decay.
    struct Note {
        double start, frequency, length;
    };
    const Note notes[] = {{0.0, 1318.5, 0.32}, {0.14, 1760.0, 0.36}};
    const int total = static_cast<int>(rate * 0.52);
    std::vector<double> mix(total, 0.0);
    for (const Note &n : notes) {
        const int first = static_cast<int>(n.start * rate);
        const int count = static_cast<int>(n.length * rate);
        for (int i = 0; i < count && first + i < total; ++i) {
            const double t = double(i) / rate;
            const double attack = std::min(1.0, t / 0.005);
            const double envelope = attack * std::exp(-t * 9.0);
            const double tone = std::sin(2 * pi * n.frequency * t) + 0.25 * std::sin(2 * pi * 2 * n.frequency * t);
            mix[first + i] += 0.32 * envelope * tone;
        }
    }
    std::vector<unsigned char> pcm;
    for (double s : mix) {
        const double clipped = std::max(-1.0, std::min(1.0, s));
        put16(pcm, static_cast<uint16_t>(static_cast<int16_t>(std::lround(clipped * 32767))));
    }
    std::vector<unsigned char> wav;
    putTag(wav, "RIFF");
    put32(wav, static_cast<uint32_t>(36 + pcm.size()));
    putTag(wav, "WAVE");
    putTag(wav, "fmt ");
    put32(wav, 16);
    put16(wav, 1); // PCM
    put16(wav, 1); // mono
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    putTag(wav, "data");
    put32(wav, static_cast<uint32_t>(pcm.size()));
    wav.insert(wav.end(), pcm.begin(), pcm.end());

    const std::string path = std::string(argv[1]) + "/msg.wav";
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(wav.data(), 1, wav.size(), f) != wav.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    return 0;
}
