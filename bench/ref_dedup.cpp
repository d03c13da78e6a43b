// The minimal single-thread way to remove repeated lines, as a yardstick: read the whole file,
// split it with memchr, keep a flat hash set of views into it, write the kept lines at once.
// Usage: ref_dedup IN OUT
#include <xxhash.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in)
        return 1;
    std::fseek(in, 0, SEEK_END);
    const long size = std::ftell(in);
    std::fseek(in, 0, SEEK_SET);
    std::string data(std::size_t(size), '\0');
    if (std::fread(data.data(), 1, data.size(), in) != data.size())
        return 1;
    std::fclose(in);

    struct Slot {
        std::uint64_t hash;
        std::string_view line;
    };
    std::vector<Slot> table(1024);
    std::size_t used = 0;
    std::string out;
    out.reserve(data.size());
    const char* p = data.data();
    const char* end = p + data.size();
    while (p < end) {
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const char* next = lf ? lf + 1 : end;
        const std::string_view line(p, std::size_t((lf ? lf : end) - p));
        if ((used + 1) * 4 > table.size() * 3) {
            std::vector<Slot> bigger(table.size() * 2);
            for (const Slot& s : table) {
                if (s.line.data()) {
                    std::size_t at = s.hash & (bigger.size() - 1);
                    while (bigger[at].line.data())
                        at = (at + 1) & (bigger.size() - 1);
                    bigger[at] = s;
                }
            }
            table.swap(bigger);
        }
        const std::uint64_t hash = XXH3_64bits(line.data(), line.size());
        std::size_t at = hash & (table.size() - 1);
        while (true) {
            Slot& s = table[at];
            if (!s.line.data()) {
                s = Slot{hash, line};
                ++used;
                out.append(p, std::size_t(next - p));
                if (!lf)
                    out += '\n';
                break;
            }
            if (s.hash == hash && s.line == line)
                break;
            at = (at + 1) & (table.size() - 1);
        }
        p = next;
    }
    std::FILE* o = std::fopen(argv[2], "wb");
    if (!o || std::fwrite(out.data(), 1, out.size(), o) != out.size())
        return 1;
    return std::fclose(o) == 0 ? 0 : 1;
}
