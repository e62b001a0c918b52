// The start-up floor of a C++ program linked as quillon is (bench/README.md, "Start-up"): it
// opens one file, reads it whole and writes it to a new file in a folder, nothing else. What
// one process per file costs this program is what any converter built that way pays before it
// converts anything.
//
//   startupFloor <file> <folder>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: startupFloor <file> <folder>\n", stderr);
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string name = argv[1];
    name = name.substr(name.find_last_of('/') + 1);
    std::ofstream out(std::string(argv[2]) + "/" + name + ".txt", std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}
