// The floor of the benchmark: opens every file named on the command line as a zip and inflates
// its slide parts (ppt/slides/slideN.xml), nothing else: no XML, no output. No reader of these
// files can be faster than this by much.
//
//   inflateFloor <file>...
// Prints "<files opened> <slide parts> <bytes inflated>".

#include <zip.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

int main(int argc, char** argv) {
    long opened = 0;
    long parts = 0;
    unsigned long long bytes = 0;
    static char buffer[1 << 16];
    for (int i = 1; i < argc; ++i) {
        int error = 0;
        std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
            zip_open(argv[i], ZIP_RDONLY, &error), &zip_discard);
        if (!archive) continue;
        ++opened;
        zip_int64_t count = zip_get_num_entries(archive.get(), 0);
        for (zip_int64_t entry = 0; entry < count; ++entry) {
            std::string_view name = zip_get_name(archive.get(), entry, ZIP_FL_ENC_RAW);
            if (!name.starts_with("ppt/slides/slide") || !name.ends_with(".xml")) continue;
            std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
                zip_fopen_index(archive.get(), entry, 0), &zip_fclose);
            if (!file) continue;
            ++parts;
            zip_int64_t got;
            while ((got = zip_fread(file.get(), buffer, sizeof buffer)) > 0) bytes += got;
        }
    }
    std::printf("%ld %ld %llu\n", opened, parts, bytes);
    return 0;
}
