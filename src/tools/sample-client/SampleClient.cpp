// The sample client: what a Windows program does with Vornak, through the
// module's COM interfaces only. It lists a handset recursively, copies a file
// to the computer and checks it, uploads a file with a progress bar, makes,
// renames and removes names, and lists again. Any failure is printed with its
// HRESULT, description and help context, and the program exits with 1.
//
//     vornak-sample [--port PROGID] [--seed DIR] [--host DIR] [--timeout MS] [--subsys N]
//
// With the default port, "Vornak.EmulatedPort", the handset is the built-in
// emulator, seeded from DIR through the port's own Seed method. Any other
// registered port class (a real handset's) is used as it is.
#include <windows.h>

#include <ole2.h>
#include <oleauto.h>

#include "comserver/ComObject.h"
#include "platform/Bstr.h"
#include "platform/ComPtr.h"
#include "Vornak.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// Owners and errors

using Platform::Bstr;
using Platform::ComPtr;

Bstr bstr(const std::wstring& text)
{
    return Bstr(std::u16string_view(Platform::asUtf16(text.c_str()), text.size()));
}
std::wstring wide(const Bstr& text)
{
    return text.get() != nullptr ? std::wstring(text.get(), SysStringLen(text.get())) : L"";
}

// A failed step: what was being done, and the call's HRESULT.
struct Failure : std::runtime_error {
    Failure(const std::string& step, HRESULT result)
        : std::runtime_error(step)
        , hr(result)
    {}
    HRESULT hr;
};

std::string narrow(const std::wstring& text)
{
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size,
                        nullptr, nullptr);
    return result;
}

void check(HRESULT hr, const std::string& step)
{
    if (FAILED(hr)) {
        throw Failure(step, hr);
    }
}

// What a help context of 0x80042190 means to a user.
std::string meaningOf(DWORD helpContext)
{
    static const std::map<DWORD, const char*> deviceErrors = {
        {2, "no such file or directory"},
        {9, "bad descriptor"},
        {13, "permission denied"},
        {17, "the name exists"},
        {20, "not a directory"},
        {21, "is a directory"},
        {22, "invalid argument"},
        {24, "too many open files"},
        {27, "file too large"},
        {28, "no space left on the handset"},
        {36, "name too long"},
        {39, "directory not empty"},
    };
    static const std::map<DWORD, const char*> ownCodes = {
        {513, "unknown device error"},
        {514, "the handset sent a malformed response"},
        {515, "the handset answered for another descriptor"},
        {516, "path longer than 1024 bytes"},
        {525, "the handset sent an unexpected response"},
        {533, "the port failed (or there is no port)"},
        {534, "the port failed unexpectedly"},
        {539, "the handset answered for another offset, three times"},
    };
    if (helpContext >= 2 && helpContext <= 512) {
        const auto found = deviceErrors.find(helpContext - 1);
        return "device error " + std::to_string(helpContext - 1) +
               (found != deviceErrors.end() ? std::string(": ") + found->second : std::string());
    }
    const auto found = ownCodes.find(helpContext);
    return found != ownCodes.end() ? found->second : "";
}

// Prints a failure with the error information the failing object left.
void report(const Failure& failure)
{
    std::printf("\nFAILED: %s\n  HRESULT 0x%08lX\n", failure.what(),
                static_cast<unsigned long>(failure.hr));
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info.get() != nullptr) {
        Bstr description, source;
        DWORD helpContext = 0;
        info->GetDescription(description.put());
        info->GetSource(source.put());
        info->GetHelpContext(&helpContext);
        std::printf("  description: %s\n  source: %s\n  help context: %lu",
                    narrow(wide(description)).c_str(), narrow(wide(source)).c_str(),
                    static_cast<unsigned long>(helpContext));
        const std::string meaning = meaningOf(helpContext);
        std::printf("%s\n", meaning.empty() ? "" : (" (" + meaning + ")").c_str());
    }
}

// ---------------------------------------------------------------------------
// Times, checksums, sizes

std::string timeOf(const FILETIME& time)
{
    SYSTEMTIME utc{};
    if (!FileTimeToSystemTime(&time, &utc)) {
        return "?";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", utc.wYear, utc.wMonth, utc.wDay,
                  utc.wHour, utc.wMinute);
    return text;
}

std::uint32_t crc32(const std::vector<unsigned char>& bytes)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::vector<unsigned char> readAll(IStream* stream)
{
    std::vector<unsigned char> bytes;
    unsigned char buffer[4096];
    for (;;) {
        ULONG got = 0;
        check(stream->Read(buffer, sizeof buffer, &got), "reading a stream");
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (got < sizeof buffer) {
            return bytes;
        }
    }
}

// ---------------------------------------------------------------------------
// The progress sink: an ITavoFileCopyProgress that draws a bar.

class ProgressBar final : public ComServer::ComObject<ProgressBar, ITavoFileCopyProgress> {
public:
    static std::span<const ComServer::InterfaceEntry<ProgressBar>> interfaceTable()
    {
        static constexpr ComServer::InterfaceEntry<ProgressBar> table[] = {
            ComServer::interfaceEntry<ProgressBar, ITavoFileCopyProgress>(
                IID_ITavoFileCopyProgress),
        };
        return table;
    }

    // Called after every packet the handset took; the total is ours to know.
    HRESULT STDMETHODCALLTYPE FileWriteEvent(unsigned long bytesWritten, unsigned long,
                                             unsigned long) override
    {
        ++events_;
        const unsigned percent =
            total_ == 0 ? 100u : static_cast<unsigned>(100.0 * bytesWritten / total_);
        if (percent / 10 != lastTenth_ || bytesWritten == total_) {
            lastTenth_ = percent / 10;
            const unsigned filled = percent / 5;
            std::printf("  [%s%s] %3u%%  %lu / %lu bytes\n", std::string(filled, '#').c_str(),
                        std::string(20 - std::min(20u, filled), '.').c_str(), percent, bytesWritten,
                        total_);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FileReadEvent(unsigned long, unsigned long, unsigned long) override
    {
        return S_OK;
    }

    unsigned long events() const { return events_; }

private:
    friend ComObject;
    explicit ProgressBar(unsigned long total)
        : total_(total)
    {}

    unsigned long total_;
    unsigned long events_ = 0;
    unsigned lastTenth_ = ~0u;
};

// ---------------------------------------------------------------------------
// The handset through the module

struct Entry {
    std::wstring name; // full handset path
    DWORD type;
    unsigned long size;
    FILETIME modified;
};

std::vector<Entry> listRecursively(ITavoEFSFolder* folder)
{
    ComPtr<IUnknown> listing;
    check(folder->RecursiveDirList(listing.put()), "listing the handset (RecursiveDirList)");
    ComPtr<IEnumSTATSTG> entries;
    check(listing->QueryInterface(IID_IEnumSTATSTG, entries.putVoid()),
          "asking the listing for IEnumSTATSTG");
    std::vector<Entry> result;
    for (;;) {
        STATSTG stat{};
        ULONG fetched = 0;
        if (entries->Next(1, &stat, &fetched) != S_OK || fetched == 0) {
            break;
        }
        result.push_back({stat.pwcsName, stat.type, stat.cbSize.LowPart, stat.mtime});
        CoTaskMemFree(stat.pwcsName);
    }
    return result;
}

using Children = std::map<std::wstring, std::vector<const Entry*>>;

// Prints the entries below `directory`, then each sub-directory's below it.
void printBranch(Children& children, const std::wstring& directory, const std::string& indent,
                 unsigned long* files, unsigned long long* bytes)
{
    const auto& list = children[directory];
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Entry& entry = *list[i];
        const bool last = i + 1 == list.size();
        const std::wstring name = entry.name.substr(entry.name.find_last_of(L'/') + 1);
        const std::string branch = indent + (last ? "`-- " : "|-- ");
        if (entry.type == STGTY_STORAGE) {
            std::printf("%s%s/\n", branch.c_str(), narrow(name).c_str());
            printBranch(children, entry.name, indent + (last ? "    " : "|   "), files, bytes);
            continue;
        }
        ++*files;
        *bytes += entry.size;
        // Columns count characters, not the bytes of their UTF-8 form.
        const int used = static_cast<int>(branch.size() + name.size());
        std::printf("%s%s%*lu  %s\n", branch.c_str(), narrow(name).c_str(), std::max(1, 48 - used),
                    entry.size, timeOf(entry.modified).c_str());
    }
}

// Prints the entries as a tree, directories first, names in order.
void printTree(const std::vector<Entry>& entries, unsigned long* files, unsigned long long* bytes)
{
    Children children;
    for (const Entry& entry : entries) {
        const std::size_t slash = entry.name.find_last_of(L'/');
        children[slash == 0 ? L"/" : entry.name.substr(0, slash)].push_back(&entry);
    }
    for (auto& [parent, list] : children) {
        std::sort(list.begin(), list.end(), [](const Entry* a, const Entry* b) {
            return a->type != b->type ? a->type == STGTY_STORAGE : a->name < b->name;
        });
    }
    *files = 0;
    *bytes = 0;
    std::printf("/\n");
    printBranch(children, L"/", "", files, bytes);
}

// Connects a new handset folder at `path`.
void connectFolder(IUnknown* port, unsigned long timeout, const std::wstring& path,
                   unsigned long subsys, ComPtr<ITavoEFSFolder>& folder)
{
    check(CoCreateInstance(CLSID_TavoEFSFolder, nullptr, CLSCTX_ALL, IID_ITavoEFSFolder,
                           folder.putVoid()),
          "creating a TavoEFSFolder (is Vornak.dll registered?)");
    const Bstr text = bstr(path);
    check(folder->Connect(port, timeout, text.get(), subsys),
          "connecting the folder to " + narrow(path));
}

// Calls a method of an automation object by name, with one BSTR argument.
HRESULT callByName(IUnknown* object, const wchar_t* method, const std::wstring& argument,
                   VARIANT* result)
{
    ComPtr<IDispatch> dispatch;
    HRESULT hr = object->QueryInterface(IID_IDispatch, dispatch.putVoid());
    if (FAILED(hr)) {
        return hr;
    }
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(method);
    hr = dispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        return hr;
    }
    const Bstr text = bstr(argument);
    VARIANTARG arg;
    VariantInit(&arg);
    arg.vt = VT_BSTR;
    arg.bstrVal = text.get();
    DISPPARAMS params{&arg, nullptr, 1, 0};
    return dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                            nullptr, nullptr);
}

// A host file of `size` bytes of a pattern, made through the host folder.
void writeHostFile(IStorage* hostStorage, const std::wstring& path, std::size_t size)
{
    ComPtr<IStream> make;
    check(hostStorage->CreateStream(path.c_str(), 0, 0, 0, make.put()),
          "making the host file " + narrow(path));
    std::vector<unsigned char> content(size);
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<unsigned char>((i * 31) ^ (i >> 9));
    }
    ULONG written = 0;
    check(make->Write(content.data(), static_cast<ULONG>(content.size()), &written),
          "writing the host file");
}

struct Options {
    std::wstring port = L"Vornak.EmulatedPort";
    std::wstring seed;
    std::wstring host;
    unsigned long timeout = 5000;
    unsigned long subsys = 19;
};

Options parse(int argc, wchar_t** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--port" && hasValue) {
            options.port = argv[++i];
        } else if (option == L"--seed" && hasValue) {
            options.seed = argv[++i];
        } else if (option == L"--host" && hasValue) {
            options.host = argv[++i];
        } else if (option == L"--timeout" && hasValue) {
            options.timeout = std::wcstoul(argv[++i], nullptr, 10);
        } else if (option == L"--subsys" && hasValue) {
            options.subsys = std::wcstoul(argv[++i], nullptr, 10);
        } else {
            std::printf(
                "usage: vornak-sample [--port PROGID] [--seed DIR] [--host DIR] [--timeout MS] "
                "[--subsys N]\n\n"
                "  --port     the diagnostic port's ProgID (default Vornak.EmulatedPort, the\n"
                "             built-in handset emulator)\n"
                "  --seed     a host directory the emulator's handset starts from\n"
                "  --host     the host directory files are copied to and from (default: the\n"
                "             current directory)\n"
                "  --timeout  milliseconds for each request (default 5000)\n"
                "  --subsys   the handset's file subsystem, 19 (default) or 62\n");
            std::exit(option == L"--help" || option == L"-h" ? 0 : 2);
        }
    }
    if (options.host.empty()) {
        wchar_t current[MAX_PATH];
        GetCurrentDirectoryW(MAX_PATH, current);
        options.host = current;
    }
    if (options.host.back() != L'\\') {
        options.host += L'\\';
    }
    return options;
}

// Removes what an earlier run of the sample left in its directory at the
// root, and the directory itself; nothing else is touched.
void removeLeftovers(IStorage* rootStorage, IUnknown* port, const Options& options,
                     const std::wstring& work)
{
    ComPtr<IStorage> earlier;
    if (FAILED(rootStorage->OpenStorage(work.c_str(), nullptr, STGM_READ, nullptr, 0,
                                        earlier.put()))) {
        return; // the usual case: there is none
    }
    ComPtr<ITavoEFSFolder> folder;
    connectFolder(port, options.timeout, L"/" + work, options.subsys, folder);
    ComPtr<IStorage> storage;
    check(folder->QueryInterface(IID_IStorage, storage.putVoid()),
          "asking the folder for IStorage");
    ComPtr<IEnumSTATSTG> elements;
    check(storage->EnumElements(0, nullptr, 0, elements.put()), "listing /" + narrow(work));
    STATSTG stat{};
    ULONG fetched = 0;
    while (elements->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
        const std::wstring name = stat.pwcsName;
        CoTaskMemFree(stat.pwcsName);
        check(storage->DestroyElement(name.c_str()),
              "removing /" + narrow(work) + "/" + narrow(name));
    }
    check(rootStorage->DestroyElement(work.c_str()),
          "removing /" + narrow(work) + " of an earlier run");
    std::printf("removed /%s left by an earlier run\n", narrow(work).c_str());
}

int run(const Options& options)
{
    std::printf("Vornak sample client\n\n");

    // The port.
    CLSID portClass{};
    check(CLSIDFromProgID(options.port.c_str(), &portClass),
          "finding the port class " + narrow(options.port));
    ComPtr<IUnknown> port;
    check(CoCreateInstance(portClass, nullptr, CLSCTX_ALL, IID_IUnknown, port.putVoid()),
          "creating the port " + narrow(options.port));
    std::printf("port: %s\n", narrow(options.port).c_str());
    if (!options.seed.empty()) {
        VARIANT result;
        VariantInit(&result);
        check(callByName(port.get(), L"Seed", options.seed, &result),
              "seeding the handset from " + narrow(options.seed));
        VariantClear(&result);
        std::printf("handset seeded from %s\n", narrow(options.seed).c_str());
    }

    // 1. The whole tree.
    ComPtr<ITavoEFSFolder> root;
    connectFolder(port.get(), options.timeout, L"/", options.subsys, root);
    std::printf("\n== The handset, listed with RecursiveDirList\n\n");
    unsigned long files = 0;
    unsigned long long bytes = 0;
    const std::vector<Entry> before = listRecursively(root.get());
    printTree(before, &files, &bytes);
    std::printf("\n%zu entries, %lu files, %llu bytes\n", before.size(), files, bytes);

    // 2. A handset file copied to the computer and checked: the sample
    // handset's calibration data, or else the first file of the listing.
    const Entry* chosen = nullptr;
    for (const Entry& entry : before) {
        if (entry.type == STGTY_STREAM &&
            (chosen == nullptr || entry.name == L"/data/calibration.bin")) {
            chosen = &entry;
        }
    }
    if (chosen == nullptr) {
        throw Failure("the handset holds no file to copy", E_FAIL);
    }
    const std::size_t slash = chosen->name.find_last_of(L'/');
    const std::wstring sourceDirectory = slash == 0 ? L"/" : chosen->name.substr(0, slash);
    const std::wstring sourceName = chosen->name.substr(slash + 1);
    std::printf("\n== Copy %s to the computer (MoveElementTo, copy)\n\n",
                narrow(chosen->name).c_str());
    ComPtr<ITavoEFSFolder> sourceFolder;
    connectFolder(port.get(), options.timeout, sourceDirectory, options.subsys, sourceFolder);
    ComPtr<IStorage> sourceStorage;
    check(sourceFolder->QueryInterface(IID_IStorage, sourceStorage.putVoid()),
          "asking the folder for IStorage");
    ComPtr<ITavoWinFolder> host;
    check(CoCreateInstance(CLSID_TavoWinFolder, nullptr, CLSCTX_ALL, IID_ITavoWinFolder,
                           host.putVoid()),
          "creating a TavoWinFolder");
    const Bstr hostPath = bstr(options.host);
    check(host->OpenAbsPath(hostPath.get(), STGM_READWRITE),
          "opening the host folder " + narrow(options.host));
    ComPtr<IStorage> hostStorage;
    check(host->QueryInterface(IID_IStorage, hostStorage.putVoid()),
          "asking the host folder for IStorage");
    // The host folder takes the new name as a host path of its own.
    const std::wstring copyPath = options.host + sourceName;
    check(sourceStorage->MoveElementTo(sourceName.c_str(), hostStorage.get(), copyPath.c_str(),
                                       STGMOVE_COPY),
          "copying " + narrow(chosen->name));

    ComPtr<IStream> handsetFile;
    check(sourceStorage->OpenStream(sourceName.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                    0, handsetFile.put()),
          "opening " + narrow(chosen->name));
    const std::vector<unsigned char> original = readAll(handsetFile.get());
    handsetFile.reset();
    ComPtr<IStream> hostFile;
    check(hostStorage->OpenStream(copyPath.c_str(), nullptr, STGM_READ, 0, hostFile.put()),
          "opening the copy " + narrow(copyPath));
    const std::vector<unsigned char> copy = readAll(hostFile.get());
    hostFile.reset();
    std::printf("handset: %zu bytes, CRC-32 %08X\n", original.size(), crc32(original));
    std::printf("copy:    %zu bytes, CRC-32 %08X  (%s)\n", copy.size(), crc32(copy),
                narrow(copyPath).c_str());
    if (copy != original) {
        throw Failure("the copy differs from the handset file", E_FAIL);
    }
    std::printf("copy check: the bytes are identical\n");

    // 3. A directory of the sample's own: everything it changes on the
    // handset happens in there, so a real handset keeps its files.
    const std::wstring work = L"vornak-sample";
    std::printf("\n== Make /%s (CreateStorage)\n\n", narrow(work).c_str());
    ComPtr<IStorage> rootStorage;
    check(root->QueryInterface(IID_IStorage, rootStorage.putVoid()),
          "asking the folder for IStorage");
    removeLeftovers(rootStorage.get(), port.get(), options, work);
    ComPtr<IStorage> workStorage;
    check(rootStorage->CreateStorage(work.c_str(), STGM_CREATE, 0, 0, workStorage.put()),
          "making /" + narrow(work));
    std::printf("made /%s\n", narrow(work).c_str());

    // 4. A host file uploaded with a progress bar.
    std::printf("\n== Upload a host file to /%s/upload.bin (CreateStream, CopyTo)\n\n",
                narrow(work).c_str());
    const std::wstring uploadPath = options.host + L"upload.bin";
    writeHostFile(hostStorage.get(), uploadPath, 150000);
    ComPtr<IStream> source;
    check(hostStorage->OpenStream(uploadPath.c_str(), nullptr, STGM_READ, 0, source.put()),
          "opening " + narrow(uploadPath));
    STATSTG sourceStat{};
    check(source->Stat(&sourceStat, STATFLAG_NONAME), "reading the host file's size");
    ComPtr<IStream> target;
    check(workStorage->CreateStream(L"upload.bin", STGM_CREATE | STGM_WRITE, 0, 0, target.put()),
          "creating /" + narrow(work) + "/upload.bin");
    const auto bar = ProgressBar::make(sourceStat.cbSize.LowPart);
    ComPtr<IConnectionPointContainer> points;
    check(target->QueryInterface(IID_IConnectionPointContainer, points.putVoid()),
          "asking the stream for its connection points");
    ComPtr<IConnectionPoint> progressPoint;
    check(points->FindConnectionPoint(IID_ITavoFileCopyProgress, progressPoint.put()),
          "finding the progress connection point");
    DWORD cookie = 0;
    check(progressPoint->Advise(bar.get(), &cookie), "subscribing to FileWriteEvent");
    ULARGE_INTEGER read{}, written{};
    check(source->CopyTo(target.get(), sourceStat.cbSize, &read, &written),
          "copying to /" + narrow(work) + "/upload.bin");
    progressPoint->Unadvise(cookie);
    std::printf("uploaded %lu bytes in %lu packets\n", written.LowPart, bar->events());
    target.reset();
    source.reset();

    // 5. Rename and remove, in the sample's directory.
    std::printf("\n== Rename and remove (RenameElement, DestroyElement)\n\n");
    check(workStorage->RenameElement(L"upload.bin", L"uploaded.bin"), "renaming upload.bin");
    std::printf("renamed /%s/upload.bin to uploaded.bin\n", narrow(work).c_str());
    {
        ComPtr<IStream> scratch;
        check(workStorage->CreateStream(L"scratch.txt", STGM_CREATE | STGM_WRITE, 0, 0,
                                        scratch.put()),
              "creating scratch.txt");
        const char text[] = "made to be removed\n";
        ULONG count = 0;
        check(scratch->Write(text, sizeof text - 1, &count), "writing scratch.txt");
    }
    check(workStorage->DestroyElement(L"scratch.txt"), "removing scratch.txt");
    std::printf("made and removed /%s/scratch.txt\n", narrow(work).c_str());

    std::printf("\n== The handset again\n\n");
    const std::vector<Entry> after = listRecursively(root.get());
    printTree(after, &files, &bytes);
    std::printf("\n%zu entries, %lu files, %llu bytes\n", after.size(), files, bytes);

    std::printf("\n== Summary\n\nlisted %zu entries; copied %s and checked it; uploaded %lu bytes "
                "with %lu progress events; made 1 directory, renamed 1 file, removed 1 file: "
                "all done.\n",
                before.size(), narrow(chosen->name).c_str(), written.LowPart, bar->events());
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    const Options options = parse(argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        std::printf("FAILED: COM could not start\n");
        return 1;
    }
    int status = 1;
    try {
        status = run(options);
    } catch (const Failure& failure) {
        report(failure);
    }
    CoUninitialize();
    return status;
}
