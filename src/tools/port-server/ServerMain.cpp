// VornakPortServer.exe: the port server as a COM local server, over an
// emulated handset.
//
//   VornakPortServer /RegServer [--seed <directory>]   register (the seed goes
//                                                       on the registered line)
//   VornakPortServer /UnregServer                       remove the registration
//   VornakPortServer [--seed <directory>] -Embedding    serve; COM starts it so
//
// Serving, the program offers CLSID_PortServer to COM clients until the last
// object it handed out is released. The handset is empty, or filled from the
// seed directory at the first activation. The program never opens a window
// and reads no input; it tells how it ended only by its exit code: 0 done,
// 1 failed, 2 a command line it does not understand.
#include "ClassFactory.h"
#include "Registration.h"
#include "ServedHandset.h"
#include "ServerProcess.h"
#include "diag/PortInterfaces.h"

#include <shellapi.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace PortServerProgram;

enum class Action { None, Register, Unregister, Serve };

struct Options {
    Action action = Action::None;
    std::optional<std::wstring> seed;
    bool valid = true;
};

// How long a process that COM started waits for its first client.
constexpr DWORD kIdleLimit = 60 * 1000;

// "/Name" or "-Name", in any case.
bool isSwitch(const std::wstring& argument, const wchar_t* name)
{
    return argument.size() > 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           _wcsicmp(argument.c_str() + 1, name) == 0;
}

Options parse(const std::vector<std::wstring>& arguments)
{
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (isSwitch(argument, L"RegServer")) {
            options.action = Action::Register;
        } else if (isSwitch(argument, L"UnregServer")) {
            options.action = Action::Unregister;
        } else if (isSwitch(argument, L"Embedding")) {
            options.action = Action::Serve;
        } else if (argument == L"--seed" && i + 1 < arguments.size()) {
            options.seed = arguments[++i];
        } else {
            options.valid = false;
        }
    }
    return options;
}

// The options that go on the registered command line. A directory written
// with a trailing backslash would escape the closing quote.
std::wstring registeredOptions(const Options& options)
{
    if (!options.seed) {
        return std::wstring();
    }
    std::wstring seed = *options.seed;
    if (!seed.empty() && (seed.back() == L'\\' || seed.back() == L'/')) {
        seed += L'.';
    }
    return L"--seed \"" + seed + L"\"";
}

int serve(const Options& options)
{
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return 1;
    }
    HRESULT hr = S_OK;
    try {
        ServerProcess process;
        std::optional<std::filesystem::path> seed;
        if (options.seed) {
            seed = std::filesystem::path(*options.seed);
        }
        HandsetSource handsets(process, std::move(seed));
        const auto factory = ClassFactory::make<IClassFactory>(process, handsets);
        hr = process.serve(CLSID_PortServer, factory.get(), kIdleLimit);
    } catch (const std::exception&) {
        hr = E_FAIL;
    }
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}

std::vector<std::wstring> arguments()
{
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::wstring> result;
    for (int i = 1; list != nullptr && i < count; ++i) {
        result.emplace_back(list[i]);
    }
    LocalFree(list);
    return result;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // No dialog box for a failure the program cannot handle: it just ends.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const Options options = parse(arguments());
    if (!options.valid) {
        return 2;
    }
    switch (options.action) {
    case Action::Register:
        return SUCCEEDED(registerServer(registeredOptions(options))) ? 0 : 1;
    case Action::Unregister:
        return SUCCEEDED(unregisterServer()) ? 0 : 1;
    case Action::Serve:
        return serve(options);
    case Action::None:
        break;
    }
    return 2;
}
