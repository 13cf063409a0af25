// Runs the fuzz target over the files of the seed corpus, for builds without libFuzzer.

#include "tests/support/test_support.h"

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv)
{
    int files = 0;
    for (int i = 1; i < argc; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            const std::string bytes = moravel::test::readFile(entry.path().string());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++files;
        }
    std::printf("%d inputs\n", files);
    return files > 0 ? 0 : 1;
}
