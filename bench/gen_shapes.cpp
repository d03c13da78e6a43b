// Writes a benchmark text of one of several shapes, fast enough for hundreds of millions of lines.
// Usage: gen_shapes SHAPE LINES OUT
//   mix       about half the lines repeat an earlier one; words in ASCII and Chinese
//   distinct  every line differs
//   one       one line, repeated
//   long      lines of about 2 KB, about half of them repeats
//   short     lines of 1 to 3 characters
// Lines end with CR LF.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// A small, fast, deterministic generator (splitmix64).
struct Random {
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
};

const char* const kWords[] = {"apple", "order", "id",   "2026", "user",    "mail", "订单", "用户",
                              "北京",  "过滤",  "数据", "重复", "http://", ".com", "#"};

// The k-th distinct line of a shape, made from k alone so that repeats need no memory.
void DistinctLine(std::uint64_t k, std::size_t words, std::string& out) {
    Random r{k * 0x2545F4914F6CDD1DULL + 1};
    const std::size_t n = words ? words : 2 + r.below(5);
    for (std::size_t w = 0; w < n; ++w) {
        out += kWords[r.below(sizeof(kWords) / sizeof(kWords[0]))];
        out += std::to_string(r.below(100000));
        if (w + 1 < n)
            out += ' ';
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s mix|distinct|one|long|short LINES OUT\n", argv[0]);
        return 2;
    }
    const std::string shape = argv[1];
    const std::uint64_t lines = std::strtoull(argv[2], nullptr, 10);
    std::FILE* out = std::fopen(argv[3], "wb");
    if (!out) {
        std::perror(argv[3]);
        return 1;
    }
    Random r{1};
    std::string buffer;
    buffer.reserve(1 << 22);
    std::uint64_t uniques = 0;
    for (std::uint64_t i = 0; i < lines; ++i) {
        if (shape == "one") {
            buffer += "the same line, 同一行 0123456789";
        } else if (shape == "distinct") {
            DistinctLine(i, 0, buffer);
            buffer += ' ';
            buffer += std::to_string(i);
        } else if (shape == "short") {
            static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789-_.,";
            const std::uint64_t n = 1 + r.below(3);
            for (std::uint64_t c = 0; c < n; ++c)
                buffer += kChars[r.below(sizeof(kChars) - 1)];
        } else {
            const std::size_t words = shape == "long" ? 200 : 0;
            if (uniques > 0 && r.below(2) == 0) {
                DistinctLine(r.below(uniques), words, buffer);
            } else {
                DistinctLine(uniques++, words, buffer);
            }
        }
        buffer += "\r\n";
        if (buffer.size() >= (1 << 22)) {
            std::fwrite(buffer.data(), 1, buffer.size(), out);
            buffer.clear();
        }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), out);
    return std::fclose(out) == 0 ? 0 : 1;
}
