#include "vornak/ClassTable.h"

#include "platform/ComError.h"
#include "platform/ComPtr.h"
#include "vornak/CTavoEFSEnum.h"
#include "vornak/CTavoEFSFolder.h"
#include "vornak/CTavoWinFolder.h"
#include "vornak/FileStream.h"
#include "vornak/Vornak.h"

namespace Vornak {

namespace {

ClassRow table[] = {
    {&CLSID_TavoEFSFile, L"Vornak.TavoEFSFile.1", L"Vornak.TavoEFSFile", L"TavoEFSFile Class",
     L"Free", &Efs::FileStream::create},
    {&CLSID_TavoEFSFolder, L"Vornak.TavoEFSFolder.1", L"Vornak.TavoEFSFolder",
     L"TavoEFSFolder Class", L"Free", &CTavoEFSFolder::create},
    {&CLSID_TavoEFSEnum, L"Vornak.TavoEFSEnum.1", L"Vornak.TavoEFSEnum", L"TavoEFSEnum Class",
     L"Free", &CTavoEFSEnum::create},
    {&CLSID_TavoWinFolder, L"Vornak.TavoWinFolder.1", L"Vornak.TavoWinFolder",
     L"TavoWinFolder Class", L"Free", &CTavoWinFolder::create},
};

constinit const InprocServer server(table, LIBID_VORNAKLib);

} // namespace

std::span<ClassRow> ClassTable::rows()
{
    return server.rows();
}

HRESULT ClassTable::getClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    return server.getClassObject(clsid, iid, out);
}

void ClassTable::releaseClassObjects()
{
    server.releaseClassObjects();
}

HRESULT ClassTable::registerServer()
{
    return server.registerServer();
}

HRESULT ClassTable::unregisterServer()
{
    return server.unregisterServer();
}

void createRunningObject(REFCLSID clsid, REFIID iid, void** out)
{
    constexpr DWORD kAnyServer =
        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
    Platform::ComPtr<IUnknown> object;
    Platform::throwIfFailed(
        CoCreateInstance(clsid, nullptr, kAnyServer, IID_IUnknown, object.putVoid()));
    Platform::throwIfFailed(OleRun(object.get()));
    Platform::throwIfFailed(object->QueryInterface(iid, out));
}

} // namespace Vornak
