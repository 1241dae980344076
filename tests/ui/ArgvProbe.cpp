// Stands in for the program's own executable in the process-start tests: writes the arguments
// it received, one per line after their count, to the file named by QUORVANE_ARGV_PROBE_OUT.
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char **argv)
{
    const char *out = std::getenv("QUORVANE_ARGV_PROBE_OUT");
    if (!out) {
        return 2;
    }
    const std::string tmp = std::string(out) + ".part";
    {
        std::ofstream file(tmp, std::ios::binary | std::ios::trunc);
        file << (argc - 1) << '\n';
        for (int i = 1; i < argc; ++i) {
            file << argv[i] << '\n';
        }
    }
    // Appears whole or not at all, so the test never reads half a file.
    return std::rename(tmp.c_str(), out) == 0 ? 0 : 1;
}
