// vornak-efs: the handset's file system from the command line.
#include "tools/vornak-efs/App.h"
#include "tools/vornak-efs/Terminal.h"

#include <iostream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
// shellapi.h needs the declarations of windows.h.
#include <shellapi.h>
#endif

namespace {

// The arguments as UTF-8, whatever the code page of the console.
std::vector<std::string> utf8Arguments([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
{
    std::vector<std::string> arguments;
#if defined(_WIN32)
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 0; wide != nullptr && i < count; ++i) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string argument(static_cast<std::size_t>(size > 0 ? size - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, argument.data(), size, nullptr, nullptr);
        arguments.push_back(std::move(argument));
    }
    LocalFree(wide);
#else
    arguments.assign(argv, argv + argc);
#endif
    return arguments;
}

} // namespace

int main(int argc, char** argv)
{
    VornakEfs::Terminal::useUtf8Console();
    std::FILE* terminal = VornakEfs::Terminal::isTerminal(stderr) ? stderr : nullptr;
    return VornakEfs::run(utf8Arguments(argc, argv), std::cout, std::cerr, terminal);
}
